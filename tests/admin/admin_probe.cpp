// Helper of the administration and run tests, run under Wine:
//   read LIST.plst   loads the playlist with the library's playlist object and prints each
//                    entry (UTF-8) as "file|loops|scaleToScreen|keepAspect|scale|bounce|volume|
//                    perMonitor|rate|playResult", then "count N"; exit 1 when Load fails
//   file PATH        the file's owner and permissions (SDDL) and its attributes
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <wrl/client.h>

#include <cstdio>
#include <cwchar>

#include "abi.h"
#include "handles.h"
#include "test_kit.h"

namespace {

int Read(const wchar_t *path)
{
    ComApartment apartment(COINIT_APARTMENTTHREADED);
    Microsoft::WRL::ComPtr<IHCYFWPlaylist> list;
    HRESULT hr = CoCreateInstance(CLSID_Playlist, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IHCYFWPlaylist, reinterpret_cast<void **>(list.GetAddressOf()));
    if (FAILED(hr) || FAILED(hr = list->Load(path))) {
        std::printf("load %s\n", HrText(hr).c_str());
        return 1;
    }
    LONG count = 0;
    list->GetCount(&count);
    for (LONG i = 0; i < count; ++i, list->Next()) {
        PlaybackItem item{};
        PlaylistPosition position{};
        list->GetCurrentItem(&item);
        CoTaskString name(item.fileName);
        list->GetPosition(&position);
        char file[1024] = {};
        WideCharToMultiByte(CP_UTF8, 0, item.fileName, -1, file, sizeof(file) - 1, nullptr,
                            nullptr);
        std::printf("%s|%ld|%d|%d|%g|%d|%ld|%d|%g|%s\n", file, item.loops,
                    item.scaleToScreen, item.keepAspect, static_cast<double>(item.scale),
                    item.bounce, item.volume, item.perMonitor, static_cast<double>(item.rate),
                    HrText(position.playResult).c_str());
    }
    std::printf("count %ld\n", count);
    return 0;
}

int File(const wchar_t *path)
{
    const SECURITY_INFORMATION kinds = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    wchar_t *text = nullptr;
    if (GetNamedSecurityInfoW(path, SE_FILE_OBJECT, kinds, nullptr, nullptr, nullptr, nullptr, &descriptor) ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, kinds, &text, nullptr))
        return 1;
    std::printf("%ls attributes 0x%lx\n", text, GetFileAttributesW(path));
    LocalFree(text);
    LocalFree(descriptor);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    if (argc == 3 && std::wcscmp(argv[1], L"read") == 0)
        return Read(argv[2]);
    if (argc == 3 && std::wcscmp(argv[1], L"file") == 0)
        return File(argv[2]);
    std::fprintf(stderr, "usage: admin_probe read LIST.plst | file PATH\n");
    return 64;
}
