#include "video_cache.h"

#include <algorithm>
#include <cwchar>

#include "cache_files.h"
#include "cache_workers.h"
#include "settings.h"

using namespace cache_files;

namespace {

constexpr DWORD kStopWaitMs = 3000;        // how long Stop waits for the copy thread
// A look-up leaves nothing behind to clean up, so a stuck one is not waited for long.
constexpr DWORD kLookupStopWaitMs = 100;
// The longest name a copy gets: the file systems take 255 characters, and the temporary
// file beside it adds a dot, eight hex digits and ".part".
constexpr size_t kMaxName = 255 - 16;
// Put there by the installation so the folder is never empty (an empty one could be made a
// junction); the cleanup leaves it, also for an administrator whose files it might own.
constexpr wchar_t kKeeperName[] = L"ReadMe.txt";

// Whole days from then to now, truncated toward zero (negative when then lies ahead).
LONGLONG DaysSince(LONGLONG then, LONGLONG now) { return (now - then) / kDay; }

enum class FolderState { kMissing, kPlain, kUnsafe };

// The cache folder, opened as itself and held without delete sharing, so that it can be
// neither replaced nor re-pointed while the run uses it. A reparse point in its place
// (another user's junction to their own files, say) is left alone. Windows reports one
// by the attributes of the name and of the handle; Wine, for a symbolic link, only by the
// name's. The trailing backslash is left off: with it, the name would be followed.
FolderState OpenFolder(const std::wstring &folder, UniqueHandle &handle)
{
    const std::wstring name = ForFileApi(folder.substr(0, folder.size() - 1));
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return FolderState::kMissing;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return FolderState::kUnsafe;
    handle.reset(CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!handle || !GetFileInformationByHandleEx(handle.get(), FileAttributeTagInfo, &tag, sizeof tag) ||
        !(tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) || (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        handle.reset();
        return FolderState::kUnsafe;
    }
    return FolderState::kPlain;
}

// 64-bit FNV-1a of the user and the path folded to upper case, as 16 hex digits: paths
// that name the same file in another case share a copy, other paths and other users get
// their own (one user never plays, replaces or deletes another's copy).
std::wstring PathDigest(const std::wstring &user, const std::wstring &full)
{
    const std::wstring keyed = user + L"|" + full;
    std::wstring folded(keyed);
    LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, keyed.c_str(), static_cast<int>(keyed.size()), folded.data(),
                 static_cast<int>(folded.size()));
    ULONGLONG hash = 14695981039346656037ULL;
    for (wchar_t unit : folded) {
        hash = (hash ^ (unit & 0xff)) * 1099511628211ULL;
        hash = (hash ^ (unit >> 8)) * 1099511628211ULL;
    }
    wchar_t text[17];
    swprintf(text, 17, L"%016llx", hash);
    return text;
}

// A name that the file system stores as it is, so that the copy stays in the folder it is
// made in: no separators, stream or device syntax, wildcards, or trailing dots or spaces.
bool IsPlainName(const std::wstring &name)
{
    if (name.empty() || name == L"." || name == L".." || name.back() == L'.' || name.back() == L' ')
        return false;
    for (wchar_t c : name)
        if (c < 32 || wcschr(L"<>:\"/\\|?*", c))
            return false;
    return true;
}

}  // namespace

void VideoCache::Start(const wchar_t *installFolder, Settings &settings)
{
    Stop();
    settings_ = &settings;
    running_ = 1;
    copier_ = std::make_shared<Copier>();
    lookups_ = std::make_shared<Lookups>();
    lookups_->copier = copier_;

    // Looked up by name because systems older than Windows 2000 lack it; a 64-bit build
    // always finds it. Where it is missing or fails, IsOnNetworkDrive finds the root by hand.
    if (HMODULE kernel = GetModuleHandleW(L"kernel32"))
        lookups_->volumePath = reinterpret_cast<VolumePathFunction>(
            reinterpret_cast<void *>(GetProcAddress(kernel, "GetVolumePathNameW")));

    std::wstring folder = installFolder ? installFolder : L"";
    if (folder.empty() || folder.back() != L'\\')
        folder += L'\\';
    folder_ = FullPath(folder + L"Cache\\");

    user_ = TokenSid(TokenUser);
    owner_ = TokenSid(TokenOwner);
    userText_ = SidText(user_);
    copier_->user = user_;
    copier_->owner = owner_;

    // A folder that is not itself (a junction or link in its place) is left alone: no
    // copies, no cleanup, every file played from where it is.
    if (folder_.empty() || OpenFolder(folder_, folderHandle_) == FolderState::kUnsafe) {
        folder_.clear();
        return;
    }

    const LONGLONG now = Now();
    const LONGLONG days = DaysSince(settings.cacheLastCleanup, now);
    if (days < 0 || days < static_cast<LONGLONG>(settings.cacheCleanupInterval))
        return;
    cleanupThread_.reset(CreateThread(nullptr, 0, &VideoCache::Cleanup, this, 0, nullptr));
    if (cleanupThread_)
        settings.cacheLastCleanup = now;
}

void VideoCache::Cancel()
{
    if (lookups_)
        lookups_->Cancel();
    if (copier_)
        copier_->Cancel();
}

void VideoCache::Stop()
{
    StopWorkers();
    if (!cleanupThread_) {
        folderHandle_.reset();
        return;
    }
    running_.fetch_sub(1);
    WaitForSingleObject(cleanupThread_.get(), INFINITE);
    cleanupThread_.reset();
    folderHandle_.reset();
}

void VideoCache::StopWorkers()
{
    Cancel();
    // The workers' states stay, stopped: a Resolve under way on another thread may still use
    // them. Each thread is waited for once; past its limit it is left to the end of the
    // process, and it owns its state. The copy thread gets the longer limit: it closes its
    // partial file (or removes one it could not write) before it ends.
    const auto take = [](auto &state) {
        std::lock_guard<std::mutex> hold(state.lock);  // no thread starts once stopping is set
        return std::move(state.thread);
    };
    const ULONGLONG start = GetTickCount64();
    if (lookups_)
        if (const UniqueHandle thread = take(*lookups_))
            WaitForSingleObject(thread.get(), kLookupStopWaitMs);
    if (copier_)
        if (const UniqueHandle thread = take(*copier_)) {
            const ULONGLONG spent = GetTickCount64() - start;
            WaitForSingleObject(thread.get(), spent < kStopWaitMs ? static_cast<DWORD>(kStopWaitMs - spent) : 0);
        }
}

DWORD WINAPI VideoCache::Cleanup(void *argument)
{
    auto *cache = static_cast<VideoCache *>(argument);
    const LONGLONG now = Now();
    const LONGLONG expiration = cache->settings_->cacheExpirationPeriod;

    // Old copies named by the file name alone, copies named with their source's digest
    // and partial files of an interrupted process all age out alike, as long as they are
    // this user's own plain files.
    WIN32_FIND_DATAW found;
    HANDLE listing = FindFirstFileW(ForFileApi(cache->folder_ + L"*.*").c_str(), &found);
    if (listing == INVALID_HANDLE_VALUE)
        return 0;
    // Running is looked at once per entry, so Stop waits for one entry at most.
    for (BOOL more = TRUE; more && cache->running_.load() != 0; more = FindNextFileW(listing, &found)) {
        if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
            _wcsicmp(found.cFileName, kKeeperName) == 0)
            continue;
        const LONGLONG accessed = AsInt64(found.ftLastAccessTime);
        if (accessed == 0)
            continue;
        const LONGLONG age = DaysSince(accessed, now);
        if (age < 0 || age < expiration)
            continue;
        cache->DeleteIfOwnCopy(cache->folder_ + found.cFileName);
    }
    FindClose(listing);
    return 0;
}

// Checked and deleted through one handle, so the file checked is the file deleted.
void VideoCache::DeleteIfOwnCopy(const std::wstring &path) const
{
    const UniqueHandle file = OpenEntry(path, DELETE | READ_CONTROL | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES);
    BY_HANDLE_FILE_INFORMATION info;
    if (!file || !IsPlainFile(file.get(), info) || !OwnedBy(file.get(), user_, owner_))
        return;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
        FILE_BASIC_INFO basic{};  // times of 0 stay as they are
        basic.FileAttributes = info.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY;
        if (basic.FileAttributes == 0)
            basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        SetFileInformationByHandle(file.get(), FileBasicInfo, &basic, sizeof basic);
    }
    FILE_DISPOSITION_INFO dispose{TRUE};
    SetFileInformationByHandle(file.get(), FileDispositionInfo, &dispose, sizeof dispose);
}

std::wstring VideoCache::Resolve(const wchar_t *source)
{
    if (!source)
        return {};
    if (!settings_ || settings_->noCache || folder_.empty())
        return source;
    const std::wstring full = FullPath(source);
    const std::wstring cached = full.empty() ? std::wstring() : CopyPathFor(full);
    if (cached.empty())
        return source;  // no copy can be named for it inside the cache folder

    Lookups::Request request{full, cached};
    switch (copier_ ? copier_->Inspect(cached, request.copyWritten) : Copier::CopyState::kForeign) {
    case Copier::CopyState::kOwn: {
        // The copy is played unless the source answers in time that it changed; then the
        // source is played while the copy is refreshed.
        request.haveCopy = true;
        const std::shared_ptr<Lookups::Request> asked = lookups_->Post(std::move(request));
        return asked && lookups_->Await(*asked, lookupWaitMs_) && asked->changed ? source : cached;
    }
    case Copier::CopyState::kForeign:
        return source;  // somebody else's file under this user's name: neither played nor replaced
    case Copier::CopyState::kMissing:
        break;
    }
    // Copied if it lies on a network drive; played from where it is until then.
    lookups_->Post(std::move(request));
    return source;
}

// The source's file name, cut to fit if it must, a dash and the digest of the whole path,
// then the extension, which the media framework goes by: N:\a\clip.avi and N:\b\clip.avi
// get copies of their own. The whole path stays below MAX_PATH: the player is handed it
// as it is, and the media framework's file source opens no longer path (nor is it known to
// take the long form), so a copy that cannot be named that short is not made at all.
std::wstring VideoCache::CopyPathFor(const std::wstring &fullSource) const
{
    if (folder_.size() >= MAX_PATH - 1)
        return {};
    const size_t maxName = std::min(kMaxName, MAX_PATH - 1 - folder_.size());
    const size_t separator = fullSource.find_last_of(L"\\/");
    const std::wstring name = separator == std::wstring::npos ? fullSource : fullSource.substr(separator + 1);
    if (!IsPlainName(name))
        return {};
    const size_t dot = name.rfind(L'.');
    const std::wstring extension = dot == std::wstring::npos ? std::wstring() : name.substr(dot);
    std::wstring stem = name.substr(0, name.size() - extension.size());
    const std::wstring tag = L"-" + PathDigest(userText_, fullSource);
    if (extension.size() + tag.size() > maxName)
        return {};
    if (stem.size() > maxName - extension.size() - tag.size()) {
        stem.resize(maxName - extension.size() - tag.size());
        if (!stem.empty() && IS_HIGH_SURROGATE(stem.back()))
            stem.pop_back();
    }
    const std::wstring cached = folder_ + stem + tag + extension;
    // Whatever the name holds, the copy's full path must be the cache folder and the name.
    if (FullPath(cached) != cached)
        return {};
    return cached;
}
