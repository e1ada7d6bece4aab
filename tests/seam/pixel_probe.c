/*
 * Watches one pixel of the screen from outside the program under test, as a viewer would:
 * reads a 1 x 1 image of the X root window in a tight loop (a read costs about 0.1 ms) and
 * appends a line "<milliseconds> <class>" to a log each time the pixel's colour class
 * changes. Classes: K black, R red, G green, B blue, Y yellow, M magenta, C cyan, W white,
 * ? anything else. Runs until killed.
 *   pixel_probe X Y LOG
 */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static volatile sig_atomic_t stop;

static void on_signal(int sig) { (void)sig; stop = 1; }

static double now_ms(void)
{
    struct timespec ts;
    /* The clock Wine's QueryPerformanceCounter reads, so times compare with the program's. */
    clock_gettime(CLOCK_MONOTONIC_RAW, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

static char classify(unsigned long pixel, const XImage *image)
{
    const int r = (int)((pixel & image->red_mask) >> __builtin_ctzl(image->red_mask));
    const int g = (int)((pixel & image->green_mask) >> __builtin_ctzl(image->green_mask));
    const int b = (int)((pixel & image->blue_mask) >> __builtin_ctzl(image->blue_mask));
    if (r < 40 && g < 40 && b < 40)
        return 'K';
    /* Each channel clearly on (150 or more) or clearly off (under 80). */
    static const struct { char class; int r, g, b; } colours[] = {
        {'W', 1, 1, 1}, {'R', 1, 0, 0}, {'G', 0, 1, 0}, {'B', 0, 0, 1},
        {'Y', 1, 1, 0}, {'M', 1, 0, 1}, {'C', 0, 1, 1},
    };
    for (size_t i = 0; i < sizeof colours / sizeof colours[0]; ++i)
        if ((colours[i].r ? r >= 150 : r < 80) && (colours[i].g ? g >= 150 : g < 80) &&
            (colours[i].b ? b >= 150 : b < 80))
            return colours[i].class;
    return '?';
}

int main(int argc, char **argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: %s X Y LOG\n", argv[0]);
        return 2;
    }
    const int x = atoi(argv[1]), y = atoi(argv[2]);
    Display *display = XOpenDisplay(NULL);
    if (!display) {
        fprintf(stderr, "pixel_probe: cannot open display\n");
        return 1;
    }
    FILE *log = fopen(argv[3], "a");
    if (!log) {
        perror(argv[3]);
        return 1;
    }
    signal(SIGTERM, on_signal);
    signal(SIGINT, on_signal);
    const Window root = DefaultRootWindow(display);
    char last = 0;
    struct timespec pause = {0, 100000}; /* 0.1 ms between reads */
    while (!stop) {
        XImage *image = XGetImage(display, root, x, y, 1, 1, AllPlanes, ZPixmap);
        if (image) {
            const char now = classify(XGetPixel(image, 0, 0), image);
            XDestroyImage(image);
            if (now != last) {
                fprintf(log, "%.3f %c\n", now_ms(), now);
                fflush(log);
                last = now;
            }
        }
        nanosleep(&pause, NULL);
    }
    fprintf(log, "%.3f .\n", now_ms());
    fclose(log);
    XCloseDisplay(display);
    return 0;
}
