#include "winport/ComBase.h"

#include <cstdlib>

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// There is no apartment to set up on this platform: the object services work in any thread.
HRESULT CoInitialize(void*) { return S_OK; }
void CoUninitialize() {}
BOOL AfxOleInit() { return TRUE; }

void* CoTaskMemAlloc(size_t size) { return std::malloc(size ? size : 1); }
void CoTaskMemFree(void* block) { std::free(block); }
