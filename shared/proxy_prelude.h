/* widl's proxy code calls these rpcrt4 exports, which MinGW's headers do not declare. */
#pragma once
#include <unknwn.h>
#ifdef __cplusplus
extern "C" {
#endif
HRESULT STDMETHODCALLTYPE IUnknown_QueryInterface_Proxy(IUnknown *This, REFIID riid, void **ppv);
ULONG STDMETHODCALLTYPE IUnknown_AddRef_Proxy(IUnknown *This);
ULONG STDMETHODCALLTYPE IUnknown_Release_Proxy(IUnknown *This);
#ifdef __cplusplus
}
#endif
