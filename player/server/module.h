// The library-wide state: the module handle and the object count that decides when COM
// may unload the library.
#pragma once

#include <windows.h>

// Every AddRef/Release of a library object or class factory and every LockServer moves
// the count by one.
void LibraryAddRef();
void LibraryRelease();
LONG LibraryObjectCount();

HMODULE LibraryModule();
void SetLibraryModule(HMODULE module);

// The library's two classes. Each creation function allocates a new object (E_OUTOFMEMORY
// when it cannot), AddRefs it, asks it for riid and Releases it again, so an interface the
// object lacks destroys it and yields E_NOINTERFACE with *ppv null.
HRESULT CreatePlaylistObject(REFIID riid, void **ppv);
HRESULT CreateFramewheelObject(REFIID riid, void **ppv);
