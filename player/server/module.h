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
