#include "playlist.h"

#include "console.h"
#include "exit_codes.h"
#include "files.h"
#include "handles.h"
#include "text.h"

int Playlist::Create()
{
    const HRESULT hr = CoCreateInstance(CLSID_Playlist, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IHCYFWPlaylist,
                                        reinterpret_cast<void **>(list_.GetAddressOf()));
    if (FAILED(hr))
        return Fail(kNoLibrary, L"the Reelhaven player library is not available (0x%08lx); "
                                L"is Reelhaven installed?",
                    static_cast<unsigned long>(hr));
    return kDone;
}

int Playlist::Load(const std::wstring &path)
{
    const HRESULT hr = list_->Load(path.c_str());
    if (hr == STG_E_FILENOTFOUND ||
        (hr == E_FAIL && GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES))
        return Fail(kListMissing, L"%ls: no such playlist", path.c_str());
    if (hr == STG_E_INVALIDHEADER)
        return Fail(kListDamaged, L"%ls: not a Reelhaven playlist, or damaged", path.c_str());
    if (hr == STG_E_SHAREVIOLATION)
        return Fail(kBadInput, L"%ls: in use by another program", path.c_str());
    if (FAILED(hr))
        return Fail(kBadInput, L"%ls: cannot be read (0x%08lx)", path.c_str(),
                    static_cast<unsigned long>(hr));
    return kDone;
}

LONG Playlist::Count() const
{
    LONG count = 0;
    list_->GetCount(&count);
    return count;
}

void Playlist::Select(LONG index)
{
    list_->First();
    for (LONG i = 0; i < index; ++i)
        list_->Next();
}

std::vector<Entry> Playlist::Entries()
{
    std::vector<Entry> entries;
    const LONG count = Count();
    Select(0);
    for (LONG i = 0; i < count; ++i) {
        Entry entry{};
        if (SUCCEEDED(list_->GetCurrentItem(&entry.item))) {
            CoTaskString name(entry.item.fileName);  // the object's copy, freed here
            entry.file = entry.item.fileName ? entry.item.fileName : L"";
            entry.item.fileName = nullptr;
        }
        PlaylistPosition position{};
        list_->GetPosition(&position);
        entry.result = position.playResult;
        entries.push_back(std::move(entry));
        list_->Next();
    }
    return entries;
}

int Playlist::CheckIndex(const wchar_t *text, LONG &index) const
{
    const LONG count = Count();
    if (!ParseInteger(text, index))
        return Fail(kBadCommandLine, L"%ls: an index is a whole number", text);
    if (index < 0 || index >= count)
        return Fail(kIndexOutOfRange, L"index %ls is out of range: the playlist has %ld "
                                      L"entr%ls (0 to %ld)",
                    text, count, count == 1 ? L"y" : L"ies", count - 1);
    return kDone;
}

int Playlist::Append(const std::vector<std::wstring> &files, PlaybackItem entry)
{
    for (const std::wstring &file : files) {
        std::wstring full = FullPath(file);
        entry.fileName = full.data();
        const HRESULT hr = list_->Insert(&entry, -1);
        if (FAILED(hr))
            return Fail(kBadInput, L"%ls: cannot be added (0x%08lx)", full.c_str(),
                        static_cast<unsigned long>(hr));
    }
    return kDone;
}

void Playlist::Remove(LONG index)
{
    list_->Remove(index);
}

void Playlist::SetFields(LONG index, const Fields &fields)
{
    Select(index);
    PlaybackItem item{};
    item.validMask = fields.Apply(item);
    list_->SetCurrentItem(&item);
}

int Playlist::Move(LONG from, LONG to)
{
    Select(from);
    PlaybackItem item{};
    const HRESULT hr = list_->GetCurrentItem(&item);
    if (FAILED(hr))
        return Fail(kBadInput, L"entry %ld cannot be read (0x%08lx)", from,
                    static_cast<unsigned long>(hr));
    CoTaskString name(item.fileName);
    PlaylistPosition position{};
    list_->GetPosition(&position);
    list_->Remove(from);
    list_->Insert(&item, to);
    position.index = to;
    list_->SetPosition(&position, POSITION_RESULT);
    return kDone;
}

int Playlist::SaveOver(const std::wstring &path)
{
    if (Count() == 0)
        return Fail(kBadValue, L"%ls: a playlist cannot be empty", path.c_str());
    DWORD error = ERROR_SUCCESS;
    const std::wstring temporary = TemporaryBeside(path, error);
    if (temporary.empty())
        return Fail(kNotWritten, L"%ls: cannot be written (%ls); the playlist is unchanged",
                    path.c_str(), SystemMessage(error).c_str());
    const HRESULT hr = list_->Save(temporary.c_str(), FALSE);
    if (FAILED(hr)) {
        DeleteFileW(temporary.c_str());
        return Fail(kNotWritten, L"%ls: cannot be written (0x%08lx); the playlist is unchanged",
                    path.c_str(), static_cast<unsigned long>(hr));
    }
    error = MoveIntoPlace(temporary, path);
    if (error != ERROR_SUCCESS)
        return Fail(kNotWritten, L"%ls: cannot be written (%ls); the playlist is unchanged",
                    path.c_str(), SystemMessage(error).c_str());
    return kDone;
}
