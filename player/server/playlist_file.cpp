#include "playlist_file.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "handles.h"

namespace plst {
namespace {

// The file's magic is the playlist class identifier in its binary GUID layout.
static_assert(sizeof(CLSID_Playlist) == 16);

// Entry offsets: the fixed head up to and including the path length, the tail after it.
constexpr size_t kHeadSize = 60;
constexpr size_t kTailSize = 39;
static_assert(kHeadSize + kTailSize == kEntryFixedSize);

// Big enough that a large playlist costs few system calls, small enough to stay modest
// for the tiny files that are the usual case (the buffer never exceeds the file).
constexpr DWORD kBufferSize = 1 << 20;

template <typename T>
T Get(const BYTE *p)
{
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

template <typename T>
void Put(BYTE *p, T value)
{
    std::memcpy(p, &value, sizeof value);
}

BYTE Flag(BYTE value) { return value ? 1 : 0; }

// Reads a file front to back through one buffer.
class Reader {
public:
    Reader(HANDLE file, uint64_t size) : file_(file), remaining_(size) {}

    bool Init()
    {
        capacity_ = static_cast<DWORD>(std::min<uint64_t>(std::max<uint64_t>(remaining_, 1), kBufferSize));
        buffer_.reset(new (std::nothrow) BYTE[capacity_]);
        return buffer_ != nullptr;
    }

    // The next size bytes in place when the buffer holds them whole (the usual case),
    // else copied to scratch; null when the data ends first or reading fails.
    const BYTE *Take(size_t size, BYTE *scratch)
    {
        if (len_ - pos_ >= size) {
            const BYTE *p = buffer_.get() + pos_;
            pos_ += size;
            return p;
        }
        return Read(scratch, size) ? scratch : nullptr;
    }

    // Copies size bytes to out; false when the data ends first or reading fails.
    bool Read(void *out, size_t size)
    {
        auto *dst = static_cast<BYTE *>(out);
        while (size > 0) {
            if (pos_ == len_ && !Fill())
                return false;
            size_t chunk = std::min<size_t>(size, len_ - pos_);
            std::memcpy(dst, buffer_.get() + pos_, chunk);
            pos_ += chunk;
            dst += chunk;
            size -= chunk;
        }
        return true;
    }

    // Bytes the file still holds beyond what was read, by its size at opening.
    uint64_t Remaining() const { return remaining_ + (len_ - pos_); }
    bool Failed() const { return failed_; }

private:
    bool Fill()
    {
        DWORD got = 0;
        if (!::ReadFile(file_, buffer_.get(), capacity_, &got, nullptr)) {
            failed_ = true;
            return false;
        }
        pos_ = 0;
        len_ = got;
        remaining_ -= std::min<uint64_t>(remaining_, got);
        return got > 0;
    }

    HANDLE file_;
    uint64_t remaining_;
    std::unique_ptr<BYTE[]> buffer_;
    DWORD capacity_ = 0;
    size_t pos_ = 0;
    size_t len_ = 0;
    bool failed_ = false;
};

// Writes a file front to back through one buffer; any short or failed write sticks.
class Writer {
public:
    explicit Writer(HANDLE file) : file_(file) {}

    bool Init()
    {
        buffer_.reset(new (std::nothrow) BYTE[kBufferSize]);
        return buffer_ != nullptr;
    }

    void Write(const void *data, size_t size)
    {
        auto *src = static_cast<const BYTE *>(data);
        while (size > 0 && ok_) {
            if (len_ == kBufferSize)
                Flush();
            size_t chunk = std::min<size_t>(size, kBufferSize - len_);
            std::memcpy(buffer_.get() + len_, src, chunk);
            len_ += chunk;
            src += chunk;
            size -= chunk;
        }
    }

    // Writes out what is buffered; true when every byte reached the file.
    bool Flush()
    {
        if (ok_ && len_ > 0) {
            DWORD written = 0;
            ok_ = ::WriteFile(file_, buffer_.get(), static_cast<DWORD>(len_), &written, nullptr) &&
                  written == len_;
        }
        len_ = 0;
        return ok_;
    }

private:
    HANDLE file_;
    std::unique_ptr<BYTE[]> buffer_;
    size_t len_ = 0;
    bool ok_ = true;
};

bool ReadEntry(Reader &reader, PlaylistEntry &entry)
{
    BYTE headCopy[kHeadSize];
    const BYTE *head = reader.Take(kHeadSize, headCopy);
    if (!head)
        return false;
    PlaybackItem &item = entry.fields;
    item.xPosition = Get<double>(head + 0);
    item.yPosition = Get<double>(head + 8);
    item.bounceStep = Get<double>(head + 16);
    item.bounceInterval = Get<double>(head + 24);
    item.windowLeft = Get<LONG>(head + 32);
    item.windowTop = Get<LONG>(head + 36);
    item.windowWidth = Get<LONG>(head + 40);
    item.windowHeight = Get<LONG>(head + 44);
    item.position = Get<double>(head + 48);
    const LONG length = Get<LONG>(head + 56);
    if (length > 0) {
        // The path cannot be longer than what is left of the file: a damaged length must
        // neither allocate beyond the data nor read past it.
        const uint64_t bytes = uint64_t(length) * 2;
        if (bytes + kTailSize > reader.Remaining())
            return false;
        entry.fileName.resize(size_t(length));
        if (!reader.Read(entry.fileName.data(), size_t(bytes)))
            return false;
    }
    BYTE tailCopy[kTailSize];
    const BYTE *tail = reader.Take(kTailSize, tailCopy);
    if (!tail)
        return false;
    item.parentWindow = Get<DWORD>(tail + 0);
    item.loops = Get<LONG>(tail + 4);
    item.volume = Get<LONG>(tail + 8);
    // tail + 12: four reserved bytes
    item.style = Get<LONG>(tail + 16);
    item.scale = Get<float>(tail + 20);
    item.rate = Get<float>(tail + 24);
    item.scaleToScreen = Flag(tail[28]);
    item.keepAspect = Flag(tail[29]);
    item.bounce = Flag(tail[30]);
    item.perMonitor = Flag(tail[31]);
    item.reserved = Flag(tail[32]);
    item.blockScreenSaver = Flag(tail[33]);
    item.blockMonitorPower = Flag(tail[34]);
    entry.playResult = Get<HRESULT>(tail + 35);
    item.fileName = nullptr;
    return true;
}

void WriteEntry(Writer &writer, const PlaylistEntry &entry)
{
    const PlaybackItem &item = entry.fields;
    BYTE head[kHeadSize];
    Put(head + 0, item.xPosition);
    Put(head + 8, item.yPosition);
    Put(head + 16, item.bounceStep);
    Put(head + 24, item.bounceInterval);
    Put<LONG>(head + 32, item.windowLeft);
    Put<LONG>(head + 36, item.windowTop);
    Put<LONG>(head + 40, item.windowWidth);
    Put<LONG>(head + 44, item.windowHeight);
    Put(head + 48, item.position);
    Put<LONG>(head + 56, static_cast<LONG>(entry.fileName.size()));
    writer.Write(head, sizeof head);
    writer.Write(entry.fileName.data(), entry.fileName.size() * sizeof(wchar_t));

    BYTE tail[kTailSize];
    Put<DWORD>(tail + 0, item.parentWindow);
    Put<LONG>(tail + 4, item.loops);
    Put<LONG>(tail + 8, item.volume);
    Put<LONG>(tail + 12, 0);
    Put<LONG>(tail + 16, item.style);
    Put(tail + 20, item.scale);
    Put(tail + 24, item.rate);
    tail[28] = Flag(item.scaleToScreen);
    tail[29] = Flag(item.keepAspect);
    tail[30] = Flag(item.bounce);
    tail[31] = Flag(item.perMonitor);
    tail[32] = Flag(item.reserved);
    tail[33] = Flag(item.blockScreenSaver);
    tail[34] = Flag(item.blockMonitorPower);
    Put<HRESULT>(tail + 35, entry.playResult);
    writer.Write(tail, sizeof tail);
}

HRESULT LoadOpenError(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND: return STG_E_FILENOTFOUND;
    case ERROR_SHARING_VIOLATION: return STG_E_SHAREVIOLATION;
    default: return E_FAIL;
    }
}

HRESULT SaveError(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND: return STG_E_FILENOTFOUND;
    case ERROR_PATH_NOT_FOUND: return STG_E_PATHNOTFOUND;
    case ERROR_SHARING_VIOLATION:
    // ReplaceFileW's answer when the old file cannot be opened for replacing: another
    // program took it in the moment between our check and the replacement.
    case ERROR_UNABLE_TO_REMOVE_REPLACED: return STG_E_SHAREVIOLATION;
    case ERROR_FILE_EXISTS: return STG_E_FILEALREADYEXISTS;
    default: return E_FAIL;
    }
}

HRESULT ReadAll(HANDLE file, PlaylistEntries &entries)
{
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size))
        return E_FAIL;
    Reader reader(file, uint64_t(size.QuadPart));
    if (!reader.Init())
        return E_OUTOFMEMORY;

    BYTE header[kHeaderSize];
    if (!reader.Read(header, sizeof header))
        return reader.Failed() ? E_FAIL : STG_E_INVALIDHEADER;
    if (std::memcmp(header, &CLSID_Playlist, 16) != 0 || Get<uint16_t>(header + 16) != kVersion)
        return STG_E_INVALIDHEADER;
    const LONG count = Get<LONG>(header + 18);

    // The count only bounds the loop; the entries come from the data actually there, so a
    // huge count in a short file costs nothing.
    for (LONG i = 0; i < count; ++i) {
        // Built in place, so that the path takes the list's memory.
        if (!ReadEntry(reader, entries.emplace_back())) {
            entries.pop_back();
            break;
        }
    }
    return reader.Failed() ? E_FAIL : S_OK;
}

// The folder part of path including its last separator ("" for a bare name), so that a
// temporary file lands on the same volume and the replacement is a rename.
std::wstring FolderOf(const wchar_t *path)
{
    std::wstring folder(path);
    size_t cut = folder.find_last_of(L"\\/:");
    folder.resize(cut == std::wstring::npos ? 0 : cut + 1);
    return folder;
}

// Creates a new, unshared temporary file in folder.
UniqueHandle CreateTemporary(const std::wstring &folder, std::wstring &name)
{
    static LONG volatile counter = 0;
    UniqueHandle file;
    for (int attempt = 0; attempt < 16; ++attempt) {
        DWORD tag = GetCurrentProcessId() * 2654435761u + GetTickCount() +
                    DWORD(InterlockedIncrement(&counter)) * 40503u;
        wchar_t suffix[16];
        wsprintfW(suffix, L"~%08lx.tmp", static_cast<unsigned long>(tag));
        name = folder + suffix;
        file.reset(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file || GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    return file;
}

// Writes the whole file through one buffer and makes sure it reached the disk.
bool WriteAll(HANDLE file, const PlaylistEntries &entries)
{
    Writer writer(file);
    if (!writer.Init())
        return false;
    BYTE header[kHeaderSize];
    std::memcpy(header, &CLSID_Playlist, 16);
    Put<uint16_t>(header + 16, kVersion);
    Put<LONG>(header + 18, static_cast<LONG>(entries.size()));
    writer.Write(header, sizeof header);
    for (const PlaylistEntry &entry : entries)
        WriteEntry(writer, entry);
    // The data must be on the disk before the name points at it, or a crash after the
    // rename could leave an empty file where the old playlist was.
    return writer.Flush() && FlushFileBuffers(file);
}

} // namespace

void AssignItemFields(PlaylistEntry &entry, const PlaybackItem &item, DWORD mask)
{
    if (mask & ITEM_FILENAME)
        entry.fileName = item.fileName ? item.fileName : L"";
    (void)CopyItemGroups(entry.fields, item, mask);
}

HRESULT Read(const wchar_t *path, PlaylistEntries &entries)
{
    entries.clear();
    UniqueHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file)
        return LoadOpenError(GetLastError());
    HRESULT hr;
    try {
        hr = ReadAll(file.get(), entries);
    } catch (const std::bad_alloc &) {
        hr = E_OUTOFMEMORY;
    }
    if (FAILED(hr))
        entries.clear();
    return hr;
}

HRESULT Write(const wchar_t *path, SaveMode mode, const PlaylistEntries &entries)
{
    // Open the target itself first, unshared, with the disposition the caller asked for:
    // that gives the answers a caller expects (in use, exists, no such folder or file)
    // and keeps other programs out while the new contents are written.
    const DWORD disposition = mode == SaveMode::CreateNew       ? CREATE_NEW
                              : mode == SaveMode::ReplaceExisting ? OPEN_EXISTING
                                                                  : OPEN_ALWAYS;
    UniqueHandle target(CreateFileW(path, GENERIC_WRITE, 0, nullptr, disposition,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    const DWORD openError = GetLastError();
    if (!target)
        return SaveError(openError);
    const bool created = disposition == CREATE_NEW ||
                         (disposition == OPEN_ALWAYS && openError != ERROR_ALREADY_EXISTS);
    // The file we just created holds nothing of the user's: it goes again on failure.
    auto fail = [&](HRESULT hr) {
        target.reset();
        if (created)
            DeleteFileW(path);
        return hr;
    };

    std::wstring tempName;
    UniqueHandle temp = CreateTemporary(FolderOf(path), tempName);
    if (!temp)
        return fail(E_FAIL);
    if (!WriteAll(temp.get(), entries)) {
        temp.reset();
        DeleteFileW(tempName.c_str());
        return fail(E_FAIL);
    }
    temp.reset();
    target.reset();

    // ReplaceFileW keeps the old file's attributes, security and creation time. Where it
    // is not supported (some network file systems) a plain replacing rename still gives
    // the all-or-nothing result; not, though, where ReplaceFileW found the file in use,
    // since a rename would only meet the same obstacle and report it less exactly.
    const DWORD attributes = created ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(path);
    DWORD error = ERROR_SUCCESS;
    if (!ReplaceFileW(path, tempName.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
        error = GetLastError();
        if (error != ERROR_SHARING_VIOLATION && error != ERROR_UNABLE_TO_REMOVE_REPLACED &&
            error != ERROR_ACCESS_DENIED) {
            error = MoveFileExW(tempName.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
                        ? ERROR_SUCCESS
                        : GetLastError();
        }
    }
    if (error == ERROR_SUCCESS) {
        // The rename and Wine's ReplaceFileW leave the temporary file's attributes; a
        // hidden or system playlist stays so.
        constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
        if (attributes != INVALID_FILE_ATTRIBUTES && (GetFileAttributesW(path) & kKept) != (attributes & kKept))
            SetFileAttributesW(path, (attributes & kKept) ? (attributes & kKept) : FILE_ATTRIBUTE_NORMAL);
        return S_OK;
    }
    // Should the old file be gone after all (ReplaceFileW may drop it and still fail to
    // rename), the temporary file is the only copy left and stays.
    if (created || GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES)
        DeleteFileW(tempName.c_str());
    return fail(SaveError(error));
}

} // namespace plst
