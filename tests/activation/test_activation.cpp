// Framewheel.dll as COM sees it: registered with regsvr32, both classes created by class
// identifier from single- and multithreaded apartments, the playlist used through its
// proxy from several threads, the registry rows, unloading and unregistration.
#include <windows.h>
#include <objbase.h>
#include <olectl.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "../queue/test_threads.h"
#include "abi.h"
#include "handles.h"
#include "test_kit.h"

using Microsoft::WRL::ComPtr;

namespace {

std::wstring g_dllPath; // Windows form of the library's path

constexpr DWORD kContext = 0x17; // in-process server and handler, local and remote server
const wchar_t kPlayerKey[] = L"CLSID\\{6BD1B160-9A88-11d2-861C-E1F24AB20C36}";
const wchar_t kPlaylistKey[] = L"CLSID\\{718259E0-C4F7-11d2-861C-BD7B2EB47737}";

// Runs regsvr32 silently and waits (bounded) for it.
DWORD RunRegsvr32(const wchar_t *options)
{
    std::wstring command = L"regsvr32.exe /s " + std::wstring(options) + L" \"" + g_dllPath + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return GetLastError();
    UniqueHandle process(pi.hProcess), thread(pi.hThread);
    if (WaitForSingleObject(process.get(), 60000) != WAIT_OBJECT_0)
        return WAIT_TIMEOUT;
    DWORD code = 1;
    GetExitCodeProcess(process.get(), &code);
    return code;
}

// Every value of a key under HKEY_CLASSES_ROOT as "name=data" (default value as "=data").
std::vector<std::wstring> KeyValues(const std::wstring &path)
{
    std::vector<std::wstring> values;
    RegKey key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return values;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256], data[512];
        DWORD nameLength = 256, dataBytes = sizeof data, type = 0;
        if (RegEnumValueW(key.get(), i, name, &nameLength, nullptr, &type,
                          reinterpret_cast<BYTE *>(data), &dataBytes) != ERROR_SUCCESS)
            break;
        values.push_back(std::wstring(type == REG_SZ ? L"" : L"(not REG_SZ)") + name + L"=" +
                         std::wstring(data, dataBytes / sizeof(wchar_t)));
    }
    std::sort(values.begin(), values.end());
    return values;
}

bool KeyExists(const std::wstring &path)
{
    RegKey key;
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

// The six class values, each key holding nothing else; data ends in its zero.
testing::AssertionResult SixValues()
{
    const std::wstring end(1, L'\0'), player = kPlayerKey, playlist = kPlaylistKey;
    const std::pair<std::wstring, std::vector<std::wstring>> keys[] = {
        {player, {L"=Halcyra Framewheel" + end}},
        {playlist, {L"=Halcyra Framewheel Playlist" + end}},
        {player + L"\\InprocServer32", {L"=" + g_dllPath + end, L"ThreadingModel=Both" + end}},
        {playlist + L"\\InprocServer32", {L"=" + g_dllPath + end, L"ThreadingModel=Apartment" + end}}};
    for (const auto &[key, values] : keys)
        if (const std::vector<std::wstring> found = KeyValues(key); found != values)
            return testing::AssertionFailure() << key << " holds " << testing::PrintToString(found);
    return testing::AssertionSuccess();
}

template <typename F>
F Export(const char *name)
{
    HMODULE module = GetModuleHandleW(L"Framewheel.dll");
    return module ? reinterpret_cast<F>(reinterpret_cast<void *>(GetProcAddress(module, name)))
                  : nullptr;
}

HRESULT CanUnloadNow()
{
    auto canUnload = Export<HRESULT(WINAPI *)()>("DllCanUnloadNow");
    return canUnload ? canUnload() : E_FAIL;
}

std::wstring TempPath(const wchar_t *name) { return (std::filesystem::temp_directory_path() / name).wstring(); }

// Creates the playlist by class identifier and makes the whole round trip a client makes:
// build, save, load, walk, read names.
void UsePlaylist(ComPtr<IHCYFWPlaylist> &playlist, const wchar_t *fileName)
{
    ASSERT_HR(S_OK, CoCreateInstance(CLSID_Playlist, nullptr, kContext, IID_PPV_ARGS(&playlist)));
    const std::wstring file = TempPath(fileName);
    const std::pair<const wchar_t *, LONG> entries[] = {
        {L"C:\\videos\\one.avi", 2}, {L"C:\\videos\\two.avi", -1}, {nullptr, 3}};
    for (auto [name, loops] : entries) {
        PlaybackItem item = DefaultPlaybackItem();
        item.fileName = const_cast<wchar_t *>(name), item.loops = loops;
        ASSERT_HR(S_OK, playlist->Insert(&item, -1));
    }
    ASSERT_HR(S_OK, playlist->Save(file.c_str(), FALSE));
    ASSERT_HR(S_OK, playlist->Load(file.c_str()));
    LONG count = 0;
    ASSERT_HR(S_OK, playlist->GetCount(&count));
    ASSERT_EQ(3, count);
    for (LONG i = 0; i < 3; ++i) {
        PlaybackItem item{};
        ASSERT_HR(S_OK, playlist->GetCurrentItem(&item));
        CoTaskString name(item.fileName);
        EXPECT_STREQ(entries[i].first ? entries[i].first : L"", name.get()); // a null name reads back empty
        EXPECT_EQ(entries[i].second, item.loops);
        EXPECT_EQ(static_cast<DWORD>(ITEM_ALL), item.validMask);
        PlaylistPosition position{};
        ASSERT_HR(S_OK, playlist->GetPosition(&position));
        EXPECT_EQ(i, position.index);
        ASSERT_HR(S_OK, playlist->Next());
    }
    PlaylistPosition position{1, static_cast<HRESULT>(0x80070002)};
    ASSERT_HR(S_OK, playlist->Next()); // index 1
    ASSERT_HR(S_OK, playlist->SetPosition(&position, POSITION_RESULT));
    ASSERT_HR(S_OK, playlist->Save(nullptr, FALSE));
    ASSERT_HR(S_OK, playlist->Load(file.c_str()));
    ASSERT_HR(S_OK, playlist->Next());
    ASSERT_HR(S_OK, playlist->GetPosition(&position));
    EXPECT_HR(static_cast<HRESULT>(0x80070002), position.playResult);
    EXPECT_HR(STG_E_FILEALREADYEXISTS, playlist->Save(file.c_str(), TRUE));
}

class Activation : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(0u, RunRegsvr32(L"")); }
};

TEST_F(Activation, RegistrationWritesExactlyTheSixClassValuesTwice)
{
    EXPECT_TRUE(SixValues());
    ASSERT_EQ(0u, RunRegsvr32(L""));
    EXPECT_TRUE(SixValues());
    EXPECT_TRUE(KeyExists(L"Interface\\{3C46BA00-C4F7-11D2-861C-BD7B2EB47737}\\ProxyStubClsid32"));
    EXPECT_TRUE(KeyExists(L"Interface\\{F567E57E-62F4-449B-81B3-A72DB228A4E1}\\ProxyStubClsid32"));
    EXPECT_TRUE(KeyExists(L"Interface\\{A5E11374-C676-4553-A9F6-F89E64B9190B}\\ProxyStubClsid32"));
    EXPECT_TRUE(KeyExists(L"CLSID\\{3C46BA00-C4F7-11D2-861C-BD7B2EB47737}\\InprocServer32"));
}

TEST_F(Activation, BothClassesFromASingleThreadedApartment)
{
    ComApartment apartment(COINIT_APARTMENTTHREADED);
    ASSERT_HR(S_OK, apartment.result());
    ComPtr<IHCYFWPlaylist> playlist;
    ASSERT_NO_FATAL_FAILURE(UsePlaylist(playlist, L"activation-sta.plst"));

    ComPtr<IHCYFramewheel> player;
    ASSERT_HR(S_OK, CoCreateInstance(CLSID_Framewheel, nullptr, kContext, IID_PPV_ARGS(&player)));
    ComPtr<IHCYFramewheel2> player2;
    EXPECT_HR(S_OK, player.As(&player2));
    ComPtr<IHCYFramewheel3> player3;
    EXPECT_HR(S_OK, player.As(&player3));
    EXPECT_HR(E_NOTIMPL, player->Reserved());
    ComPtr<IHCYFWPlaylist> notAPlaylist;
    EXPECT_HR(E_NOINTERFACE, player.As(&notAPlaylist));
}

TEST_F(Activation, UnloadsOnlyWithoutReferencesOrLocks)
{
    ComApartment apartment(COINIT_APARTMENTTHREADED);
    for (const CLSID *clsid : {&CLSID_Playlist, &CLSID_Framewheel}) {
        ComPtr<IUnknown> object;
        ASSERT_HR(S_OK, CoCreateInstance(*clsid, nullptr, kContext, IID_PPV_ARGS(&object)));
        EXPECT_HR(S_FALSE, CanUnloadNow());
        object.Reset();
        EXPECT_HR(S_OK, CanUnloadNow());
    }

    ComPtr<IClassFactory> factory;
    ASSERT_HR(S_OK, CoGetClassObject(CLSID_Playlist, CLSCTX_INPROC_SERVER, nullptr, IID_PPV_ARGS(&factory)));
    EXPECT_HR(S_OK, factory->LockServer(TRUE));
    factory.Reset();
    EXPECT_HR(S_FALSE, CanUnloadNow());
    ASSERT_HR(S_OK, CoGetClassObject(CLSID_Playlist, CLSCTX_INPROC_SERVER, nullptr, IID_PPV_ARGS(&factory)));
    EXPECT_HR(S_OK, factory->LockServer(FALSE));
    EXPECT_HR(S_FALSE, CanUnloadNow()); // the factory reference itself
    factory.Reset();
    EXPECT_HR(S_OK, CanUnloadNow());
}

TEST_F(Activation, ClassFactoriesAnswerByTheBook)
{
    ComApartment apartment(COINIT_APARTMENTTHREADED);
    ComPtr<IClassFactory> warmUp; // makes COM load the library
    ASSERT_HR(S_OK, CoGetClassObject(CLSID_Framewheel, CLSCTX_INPROC_SERVER, nullptr, IID_PPV_ARGS(&warmUp)));
    auto getClassObject = Export<HRESULT(WINAPI *)(REFCLSID, REFIID, void **)>("DllGetClassObject");
    ASSERT_NE(nullptr, getClassObject);

    void *out = &out;
    EXPECT_HR(CLASS_E_CLASSNOTAVAILABLE, getClassObject(IID_IUnknown, IID_IClassFactory, &out));
    EXPECT_EQ(nullptr, out);
    out = &out;
    EXPECT_HR(E_NOINTERFACE, getClassObject(CLSID_Playlist, IID_IHCYFWPlaylist, &out));
    EXPECT_EQ(nullptr, out);

    IUnknown *unknown = nullptr;
    ASSERT_HR(S_OK, getClassObject(CLSID_Playlist, IID_IUnknown, reinterpret_cast<void **>(&unknown)));
    EXPECT_EQ(2u, unknown->AddRef());
    EXPECT_EQ(1u, unknown->Release());
    EXPECT_EQ(1u, unknown->Release());
    warmUp.Reset();

    ComPtr<IClassFactory> factory;
    ASSERT_HR(S_OK, getClassObject(CLSID_Playlist, IID_PPV_ARGS(&factory)));
    EXPECT_HR(E_POINTER, factory->QueryInterface(IID_IUnknown, nullptr));
    out = &out;
    EXPECT_HR(CLASS_E_NOAGGREGATION, factory->CreateInstance(factory.Get(), IID_IUnknown, &out));
    EXPECT_EQ(nullptr, out);
    out = &out;
    EXPECT_HR(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IDispatch, &out));
    EXPECT_EQ(nullptr, out);
    ComPtr<IHCYFWPlaylist> playlist;
    ASSERT_HR(S_OK, factory->CreateInstance(nullptr, IID_PPV_ARGS(&playlist)));
    playlist.Reset();
    factory.Reset();
    EXPECT_HR(S_OK, CanUnloadNow()); // the failed creation left nothing behind
}

// Wine only: activating an apartment-model class from the multithreaded apartment leaves
// one reference to the class factory in Wine's host apartment (it never releases the
// class object it marshalled), so DllCanUnloadNow stays S_FALSE afterwards. The unloading
// checks above therefore run before this test.
TEST_F(Activation, PlaylistThroughItsProxyFromTheMultithreadedApartment)
{
    ComApartment apartment(COINIT_MULTITHREADED);
    ASSERT_HR(S_OK, apartment.result());
    ComPtr<IHCYFWPlaylist> playlist;
    ASSERT_NO_FATAL_FAILURE(UsePlaylist(playlist, L"activation-mta.plst"));

    // Another thread of the same apartment uses the same proxy.
    std::thread second([&] {
        ComApartment mta(COINIT_MULTITHREADED);
        ASSERT_HR(S_OK, playlist->First());
        PlaybackItem item{};
        ASSERT_HR(S_OK, playlist->GetCurrentItem(&item));
        CoTaskString name(item.fileName);
        EXPECT_STREQ(L"C:\\videos\\one.avi", name.get());
        ASSERT_HR(S_OK, playlist->Remove(-1));
        ASSERT_HR(S_OK, playlist->Save(TempPath(L"activation-mta2.plst").c_str(), FALSE));
    });
    second.join();
    LONG count = 0;
    ASSERT_HR(S_OK, playlist->GetCount(&count));
    EXPECT_EQ(2, count);

    ComPtr<IHCYFramewheel> player;
    ASSERT_HR(S_OK, CoCreateInstance(CLSID_Framewheel, nullptr, kContext, IID_PPV_ARGS(&player)));
}

// The player made in this single-threaded apartment and called from the multithreaded one,
// through the proxy, while this thread answers: the rectangles cross whole (a bad one
// second in the list is seen), a null list crosses as null.
TEST_F(Activation, OutputAreasThroughTheProxyFromAnotherApartment)
{
    ComApartment apartment(COINIT_APARTMENTTHREADED);
    ComPtr<IHCYFramewheel4> player;
    ASSERT_HR(S_OK, CoCreateInstance(CLSID_Framewheel, nullptr, kContext, IID_PPV_ARGS(&player)));
    IStream *stream = nullptr;
    ASSERT_HR(S_OK, CoMarshalInterThreadInterfaceInStream(IID_IHCYFramewheel4, player.Get(), &stream));
    RECT areas[17];
    for (LONG i = 0; i < 17; ++i)
        areas[i] = {1280 * i, 0, 1280 * (i + 1), 720};
    const RECT inverted[] = {areas[0], {2304, 0, 1280, 768}}, empty[] = {areas[0], {1280, 0, 1280, 768}};
    std::vector<std::string> results;
    bool proxied = false;
    Worker caller([&] {
        ComApartment mta(COINIT_MULTITHREADED);
        ComPtr<IHCYFramewheel4> remote;
        if (FAILED(CoGetInterfaceAndReleaseStream(stream, IID_PPV_ARGS(&remote))))
            return;
        proxied = static_cast<void *>(remote.Get()) != static_cast<void *>(player.Get());
        for (HRESULT hr : {remote->SetOutputAreas(2, areas), remote->SetOutputAreas(2, inverted),
                           remote->SetOutputAreas(2, empty), remote->SetOutputAreas(1, nullptr),
                           remote->SetOutputAreas(0, nullptr), remote->SetOutputAreas(17, areas),
                           remote->SetOutputAreas(16, areas)})
            results.push_back(HrText(hr));
    });
    for (const DWORD start = GetTickCount(); !caller.Finished(0) && GetTickCount() - start < 20000;) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        for (MSG message; PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);)
            DispatchMessageW(&message);
    }
    ASSERT_TRUE(caller.Finished(0));
    EXPECT_TRUE(proxied);
    EXPECT_EQ(results, (std::vector<std::string>{HrText(S_OK), HrText(E_INVALIDARG), HrText(E_INVALIDARG),
                                                 HrText(E_POINTER), HrText(S_OK), HrText(E_INVALIDARG),
                                                 HrText(S_OK)}));
}

TEST_F(Activation, VersionResourceAndManifestDescribeTheLibrary)
{
    DWORD ignored = 0;
    std::vector<BYTE> info(GetFileVersionInfoSizeW(g_dllPath.c_str(), &ignored));
    ASSERT_TRUE(GetFileVersionInfoW(g_dllPath.c_str(), 0, DWORD(info.size()), info.data())); // fails when empty
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void **>(&fixed), &length));
    EXPECT_EQ(0x00030002u, fixed->dwFileVersionMS);
    EXPECT_EQ(0u, fixed->dwFileVersionLS);
    WORD *translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void **>(&translation), &length));
    EXPECT_EQ(0x0409, translation[0]);
    EXPECT_EQ(1200, translation[1]);
    const std::pair<const wchar_t *, const wchar_t *> strings[] = {
        {L"FileDescription", L"Multi-monitor video player"}, {L"FileVersion", L"3.2.0.0"},
        {L"ProductName", L"Framewheel"}, {L"InternalName", L"Framewheel"},
        {L"OriginalFilename", L"Framewheel.dll"}};
    for (const auto &[name, expected] : strings) {
        wchar_t *value = nullptr;
        const std::wstring query = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
        ASSERT_TRUE(VerQueryValueW(info.data(), query.c_str(), reinterpret_cast<void **>(&value), &length));
        EXPECT_STREQ(expected, value);
    }

    HMODULE data = LoadLibraryExW(g_dllPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, data);
    HRSRC manifest = FindResourceW(data, MAKEINTRESOURCEW(2), MAKEINTRESOURCEW(24));
    ASSERT_NE(nullptr, manifest);
    const char *text = static_cast<const char *>(LockResource(LoadResource(data, manifest)));
    const std::string xml(text, SizeofResource(data, manifest));
    EXPECT_NE(std::string::npos, xml.find("level=\"asInvoker\" uiAccess=\"false\""));
    FreeLibrary(data);
}

// Runs last (gtest keeps declaration order): leaves the library registered again.
TEST_F(Activation, UnregisteringKeepsAClassKeyWithForeignSubkeys)
{
    ComApartment apartment(COINIT_APARTMENTTHREADED);
    ComPtr<IClassFactory> factory; // loads the library for its exports
    ASSERT_HR(S_OK, CoGetClassObject(CLSID_Playlist, CLSCTX_INPROC_SERVER, nullptr, IID_PPV_ARGS(&factory)));
    auto unregister = Export<HRESULT(WINAPI *)()>("DllUnregisterServer");
    auto registerServer = Export<HRESULT(WINAPI *)()>("DllRegisterServer");
    ASSERT_NE(nullptr, unregister);
    ASSERT_NE(nullptr, registerServer);

    const std::wstring foreign = std::wstring(kPlaylistKey) + L"\\ForeignEntry";
    RegKey key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, foreign.c_str(), 0, nullptr, 0,
                                             KEY_WRITE, nullptr, key.put(), nullptr));
    key.reset();
    EXPECT_HR(S_FALSE, unregister());
    EXPECT_TRUE(KeyExists(kPlaylistKey));
    EXPECT_FALSE(KeyExists(std::wstring(kPlaylistKey) + L"\\InprocServer32"));
    EXPECT_FALSE(KeyExists(kPlayerKey));
    EXPECT_FALSE(KeyExists(L"Interface\\{3C46BA00-C4F7-11D2-861C-BD7B2EB47737}"));

    RegDeleteKeyW(HKEY_CLASSES_ROOT, foreign.c_str());
    EXPECT_HR(S_OK, unregister());
    EXPECT_FALSE(KeyExists(kPlaylistKey));
    EXPECT_HR(S_OK, unregister()); // nothing registered

    EXPECT_HR(S_OK, registerServer());
    EXPECT_TRUE(SixValues());
}

} // namespace

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        fprintf(stderr, "usage: test_activation <path of Framewheel.dll>\n");
        return 2;
    }
    g_dllPath = WindowsPath(argv[1]);  // ctest hands over the Unix path
    return RUN_ALL_TESTS();
}
