// DllRegisterServer / DllUnregisterServer: the registry rows that make the two classes
// creatable by class identifier, plus the proxy/stub that marshals our interfaces.
#include <windows.h>
#include <olectl.h>

#include <iterator>

#include "handles.h"
#include "module.h"

namespace {

// A null value stands for the library's own full path.
struct RegistryRow {
    const wchar_t *key;
    const wchar_t *name;
    const wchar_t *value;
};

#define FW_CLSID L"{6BD1B160-9A88-11d2-861C-E1F24AB20C36}"
#define PL_CLSID L"{718259E0-C4F7-11d2-861C-BD7B2EB47737}"
#define PROXY_CLSID L"{3C46BA00-C4F7-11D2-861C-BD7B2EB47737}"
#define INTERFACE_ROWS(iid, name)                                                          \
    {L"Interface\\" iid, nullptr, name},                                                   \
    {L"Interface\\" iid L"\\ProxyStubClsid32", nullptr, PROXY_CLSID}

// Written in order, removed in reverse order so that each key goes after its subkeys.
constexpr RegistryRow kRows[] = {
    {L"CLSID\\" FW_CLSID, nullptr, L"Halcyra Framewheel"},
    {L"CLSID\\" FW_CLSID L"\\InprocServer32", nullptr, nullptr},
    {L"CLSID\\" FW_CLSID L"\\InprocServer32", L"ThreadingModel", L"Both"},
    {L"CLSID\\" PL_CLSID, nullptr, L"Halcyra Framewheel Playlist"},
    {L"CLSID\\" PL_CLSID L"\\InprocServer32", nullptr, nullptr},
    {L"CLSID\\" PL_CLSID L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
    // Without a proxy/stub, COM cannot hand the Apartment-model playlist to a
    // multithreaded apartment, nor keep sinks in the Global Interface Table.
    {L"CLSID\\" PROXY_CLSID, nullptr, L"Halcyra Framewheel Proxy/Stub"},
    {L"CLSID\\" PROXY_CLSID L"\\InprocServer32", nullptr, nullptr},
    {L"CLSID\\" PROXY_CLSID L"\\InprocServer32", L"ThreadingModel", L"Both"},
    INTERFACE_ROWS(L"{3C46BA00-C4F7-11D2-861C-BD7B2EB47737}", L"IHCYFWPlaylist"),
    INTERFACE_ROWS(L"{25B375E0-84B9-11D2-861C-97B127E0B756}", L"IHCYFramewheelEventSink"),
    INTERFACE_ROWS(L"{25B375E1-84B9-11D2-861C-97B127E0B756}", L"IHCYFramewheel"),
    INTERFACE_ROWS(L"{6C2D2641-3B0D-4DAF-B050-E08A66DB3A9C}", L"IHCYFramewheel2"),
    INTERFACE_ROWS(L"{F567E57E-62F4-449B-81B3-A72DB228A4E1}", L"IHCYFramewheel3"),
    INTERFACE_ROWS(L"{A5E11374-C676-4553-A9F6-F89E64B9190B}", L"IHCYFramewheel4"),
};

bool WriteRow(const RegistryRow &row, const wchar_t *modulePath)
{
    RegKey key;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, row.key, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return false;
    const wchar_t *value = row.value ? row.value : modulePath;
    const DWORD bytes = static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t));
    return RegSetValueExW(key.get(), row.name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value),
                          bytes) == ERROR_SUCCESS;
}

} // namespace

extern "C" HRESULT WINAPI DllUnregisterServer()
{
    HRESULT result = S_OK;
    for (auto row = std::rbegin(kRows); row != std::rend(kRows); ++row) {
        DWORD subkeys = 0;
        {
            RegKey key;
            if (RegOpenKeyExW(HKEY_CLASSES_ROOT, row->key, 0, KEY_QUERY_VALUE, key.put()) !=
                ERROR_SUCCESS)
                continue; // already gone, for example with an earlier row of the same key
            if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                 nullptr, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                continue;
        }
        if (subkeys == 0)
            RegDeleteKeyW(HKEY_CLASSES_ROOT, row->key);
        else
            result = S_FALSE; // another program's entries live below it
    }
    return result;
}

extern "C" HRESULT WINAPI DllRegisterServer()
{
    wchar_t path[400];
    const DWORD length = GetModuleFileNameW(LibraryModule(), path, static_cast<DWORD>(std::size(path)));
    if (length == 0 || length >= std::size(path))
        return SELFREG_E_CLASS;
    for (const RegistryRow &row : kRows) {
        if (!WriteRow(row, path)) {
            DllUnregisterServer();
            return SELFREG_E_CLASS;
        }
    }
    return S_OK;
}
