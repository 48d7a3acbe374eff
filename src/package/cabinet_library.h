#pragma once
// "Cabinet.dll" of the system folder, loaded by its full path when the first extraction needs it, with
// the four decoder functions the extraction calls.

#include <windows.h>

#include <fdi.h>

#include "support/unique_handle.h"

namespace Cabinet {

class CabinetLibrary {
public:
    using CreateFn = decltype(&FDICreate);
    using CopyFn = decltype(&FDICopy);
    using IsCabinetFn = decltype(&FDIIsCabinet);
    using DestroyFn = decltype(&FDIDestroy);

    // Loads the library and its functions unless already loaded. On
    // failure nothing stays loaded and the result is the system's error
    // code; 0 on success.
    DWORD load();
    bool loaded() const { return static_cast<bool>(module_); }
    // Lets the library go (the decoder context must be gone by then).
    void unload();

    CreateFn create = nullptr;
    CopyFn copy = nullptr;
    IsCabinetFn is_cabinet = nullptr;
    DestroyFn destroy = nullptr;

private:
    support::UniqueModule module_;
};

}  // namespace Cabinet
