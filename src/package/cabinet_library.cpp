#include "package/cabinet_library.h"

#include "support/system_folder.h"

namespace Cabinet {
namespace {

// GetProcAddress hands out a generic function pointer; going through
// void(*)() is the one cast between function types the compiler accepts
// silently.
template <typename Fn>
bool find(HMODULE module, const char* name, Fn& out) {
    const FARPROC proc = GetProcAddress(module, name);
    out = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
    return proc != nullptr;
}

}  // namespace

DWORD CabinetLibrary::load() {
    if (loaded()) return 0;
    // By its full path in the system folder: never a planted copy elsewhere.
    support::UniqueModule module(support::load_system_library(L"cabinet.dll"));
    if (!module) return GetLastError();
    if (!find(module.get(), "FDICreate", create) || !find(module.get(), "FDICopy", copy) ||
        !find(module.get(), "FDIIsCabinet", is_cabinet) || !find(module.get(), "FDIDestroy", destroy)) {
        const DWORD error = GetLastError();
        unload();
        return error != 0 ? error : ERROR_PROC_NOT_FOUND;
    }
    // Kept in the process once loaded: an update extracts one package per
    // component, and mapping the library anew for each cost more than
    // extracting a small package. Only this module is pinned, by the
    // handle loaded from the system folder above.
    HMODULE pinned = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(reinterpret_cast<void*>(create)), &pinned);
    module_ = std::move(module);
    return 0;
}

void CabinetLibrary::unload() {
    create = nullptr;
    copy = nullptr;
    is_cabinet = nullptr;
    destroy = nullptr;
    module_.reset();
}

}  // namespace Cabinet
