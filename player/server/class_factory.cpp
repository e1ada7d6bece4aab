// The two static class factories and DllGetClassObject.
#include <windows.h>
#include <objbase.h>

#include "abi.h"
#include "module.h"

// The proxy/stub's own entry points (generated dlldata, prefixed).
extern "C" HRESULT WINAPI FwProxyDllGetClassObject(REFCLSID rclsid, REFIID riid, void **ppv);
extern "C" HRESULT WINAPI FwProxyDllCanUnloadNow();

namespace {

using CreateFunction = HRESULT (*)(REFIID, void **);

// A factory never dies; its count only feeds the library's object count.
class ClassFactory final : public IClassFactory {
public:
    explicit constexpr ClassFactory(CreateFunction create) : create_(create) {}

    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IClassFactory) || IsEqualIID(riid, IID_IUnknown)) {
            *ppv = static_cast<IClassFactory *>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override
    {
        LibraryAddRef();
        return 2;
    }
    STDMETHODIMP_(ULONG) Release() override
    {
        LibraryRelease();
        return 1;
    }
    STDMETHODIMP CreateInstance(IUnknown *outer, REFIID riid, void **ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        return create_(riid, ppv);
    }
    STDMETHODIMP LockServer(BOOL lock) override
    {
        if (lock)
            LibraryAddRef();
        else
            LibraryRelease();
        return S_OK;
    }

private:
    CreateFunction create_;
};

ClassFactory g_framewheelClass{CreateFramewheelObject};
ClassFactory g_playlistClass{CreatePlaylistObject};

} // namespace

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    // The class is compared first: an unknown class fails whatever the interface.
    if (IsEqualCLSID(rclsid, CLSID_Framewheel))
        return g_framewheelClass.QueryInterface(riid, ppv);
    if (IsEqualCLSID(rclsid, CLSID_Playlist))
        return g_playlistClass.QueryInterface(riid, ppv);
    if (IsEqualCLSID(rclsid, CLSID_FramewheelProxy))
        return FwProxyDllGetClassObject(rclsid, riid, ppv);
    *ppv = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT WINAPI DllCanUnloadNow()
{
    // Proxies and stubs made by our proxy/stub factory run code of this library too.
    if (LibraryObjectCount() != 0 || FwProxyDllCanUnloadNow() != S_OK)
        return S_FALSE;
    return S_OK;
}
