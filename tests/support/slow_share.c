/*
 * A share that is slow to answer, as a real file system: a FUSE mount of a folder in which
 * every name that begins with "slow" takes its time. Mapped into a Wine prefix as a network
 * drive, it gives the program the waits a share that stopped answering gives on Windows,
 * in the calls the program really makes.
 *   slow_share [--lookup-ms N] [--read-ms N] [--switch FILE] [--log FILE] FOLDER MOUNTPOINT
 * --lookup-ms: a look-up of such a name (what stat, open and the volume path functions
 *   start with) waits N ms. The kernel keeps an answer for a second, so the open that
 *   Wine's server makes right after its client looked the name up does not wait again (a
 *   wait there would stop every Wine process, which no Windows share does).
 * --read-ms: every read of such a file waits N ms first.
 * --switch: the waits apply only while FILE exists, so a test can make the share slow
 *   after it has copied from it; the waits under way end when FILE goes.
 * --log: one line per slow look-up, "<name> <ms waited>", for the scripts that check it.
 * Runs in the foreground until unmounted (fusermount3 -u MOUNTPOINT) or killed.
 * Build: gcc -O2 -Wall -o slow_share slow_share.c $(pkg-config --cflags --libs fuse3)
 */
#define FUSE_USE_VERSION 31
#define _GNU_SOURCE
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <limits.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

static char folder[PATH_MAX];
static char switchFile[PATH_MAX];
static long lookupMs, readMs;
static FILE *logFile;
static pthread_mutex_t logLock = PTHREAD_MUTEX_INITIALIZER;

static int IsSlow(const char *path)
{
    const char *name = strrchr(path, '/');
    return name && strncmp(name + 1, "slow", 4) == 0 && (!switchFile[0] || access(switchFile, F_OK) == 0);
}

static void Backing(const char *path, char *out)
{
    snprintf(out, PATH_MAX, "%s%s", folder, path);
}

// Waits ms, in slices: with a switch, a wait ends early once the switch is gone.
static void Wait(long ms)
{
    for (long left = ms; left > 0; left -= 50) {
        if (switchFile[0] && access(switchFile, F_OK) != 0)
            return;
        const long slice = left < 50 ? left : 50;
        struct timespec ts = {0, slice * 1000000L};
        while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
        }
    }
}

static int GetAttr(const char *path, struct stat *st, struct fuse_file_info *fi)
{
    (void)fi;
    if (lookupMs > 0 && IsSlow(path)) {
        Wait(lookupMs);
        if (logFile) {
            pthread_mutex_lock(&logLock);
            fprintf(logFile, "%s %ld\n", path, lookupMs);
            fflush(logFile);
            pthread_mutex_unlock(&logLock);
        }
    }
    char real[PATH_MAX];
    Backing(path, real);
    return lstat(real, st) == 0 ? 0 : -errno;
}

static int ReadDir(const char *path, void *buffer, fuse_fill_dir_t fill, off_t offset, struct fuse_file_info *fi,
                   enum fuse_readdir_flags flags)
{
    (void)offset, (void)fi, (void)flags;
    char real[PATH_MAX];
    Backing(path, real);
    DIR *dir = opendir(real);
    if (!dir)
        return -errno;
    for (struct dirent *entry; (entry = readdir(dir));)
        fill(buffer, entry->d_name, NULL, 0, 0);
    closedir(dir);
    return 0;
}

static int Open(const char *path, struct fuse_file_info *fi)
{
    char real[PATH_MAX];
    Backing(path, real);
    const int fd = open(real, fi->flags & ~(O_CREAT | O_EXCL | O_TRUNC));
    if (fd < 0)
        return -errno;
    fi->fh = (uint64_t)fd;
    return 0;
}

static int Read(const char *path, char *buffer, size_t size, off_t offset, struct fuse_file_info *fi)
{
    if (readMs > 0 && IsSlow(path))
        Wait(readMs);
    const ssize_t got = pread((int)fi->fh, buffer, size, offset);
    return got < 0 ? -errno : (int)got;
}

static int Release(const char *path, struct fuse_file_info *fi)
{
    (void)path;
    close((int)fi->fh);
    return 0;
}

static int StatFs(const char *path, struct statvfs *st)
{
    char real[PATH_MAX];
    Backing(path, real);
    return statvfs(real, st) == 0 ? 0 : -errno;
}

static void *Init(struct fuse_conn_info *conn, struct fuse_config *config)
{
    (void)conn;
    config->entry_timeout = 1;
    config->attr_timeout = 1;
    config->negative_timeout = 0;
    return NULL;
}

static const struct fuse_operations kOperations = {
    .getattr = GetAttr,
    .readdir = ReadDir,
    .open = Open,
    .read = Read,
    .release = Release,
    .statfs = StatFs,
    .init = Init,
};

int main(int argc, char **argv)
{
    int i = 1;
    for (; i + 1 < argc && strncmp(argv[i], "--", 2) == 0; i += 2) {
        if (strcmp(argv[i], "--lookup-ms") == 0)
            lookupMs = atol(argv[i + 1]);
        else if (strcmp(argv[i], "--read-ms") == 0)
            readMs = atol(argv[i + 1]);
        else if (strcmp(argv[i], "--switch") == 0)
            snprintf(switchFile, sizeof switchFile, "%s", argv[i + 1]);
        else if (strcmp(argv[i], "--log") == 0 && !(logFile = fopen(argv[i + 1], "a")))
            return perror(argv[i + 1]), 2;
    }
    if (argc - i != 2 || !realpath(argv[i], folder)) {
        fprintf(stderr, "usage: slow_share [--lookup-ms N] [--read-ms N] [--switch FILE] [--log FILE] FOLDER MOUNTPOINT\n");
        return 2;
    }
    /* Foreground, read-only, every request on a thread of its own: one slow name never
       holds up the others. */
    char *fuseArgs[] = {argv[0], "-f", "-o", "ro,fsname=slow_share", argv[i + 1], NULL};
    return fuse_main(5, fuseArgs, &kOperations, NULL);
}
