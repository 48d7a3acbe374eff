#include "package/cabinet_slot.h"

#include <windows.h>

namespace Cabinet {
namespace {

INIT_ONCE g_slot_once = INIT_ONCE_STATIC_INIT;
DWORD g_slot = TLS_OUT_OF_INDEXES;

// Runs once; a failed allocation leaves the once-object unset, so the next
// caller tries again.
BOOL CALLBACK allocate_slot(PINIT_ONCE, PVOID, PVOID*) {
    g_slot = TlsAlloc();
    return g_slot != TLS_OUT_OF_INDEXES;
}

}  // namespace

bool InitThreadSlot() {
    return InitOnceExecuteOnce(&g_slot_once, allocate_slot, nullptr, nullptr) != FALSE;
}

CExtract* ThreadSlotObject() {
    if (!InitThreadSlot()) return nullptr;
    return static_cast<CExtract*>(TlsGetValue(g_slot));
}

bool SetThreadSlotObject(CExtract* object) {
    return InitThreadSlot() && TlsSetValue(g_slot, object) != FALSE;
}

void ClearThreadSlot() {
    SetThreadSlotObject(nullptr);
}

}  // namespace Cabinet
