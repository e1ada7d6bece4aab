#include "module.h"

namespace {
LONG volatile g_objectCount = 0;
HMODULE g_module = nullptr;
}

void LibraryAddRef() { InterlockedIncrement(&g_objectCount); }
void LibraryRelease() { InterlockedDecrement(&g_objectCount); }
LONG LibraryObjectCount() { return InterlockedCompareExchange(&g_objectCount, 0, 0); }

HMODULE LibraryModule() { return g_module; }
void SetLibraryModule(HMODULE module) { g_module = module; }
