// The demo product's IME module. It is a complete IME as far as the
// input-method manager is concerned (every entry point is there and
// ImeInquire describes a Unicode IME with its UI window class), but it
// converts nothing: keys pass through to the application unchanged. That
// is all the installer, the loaded-IME check and the updater need of it.
#include <windows.h>
#include <imm.h>

#ifndef IME_PROP_KBD_CHAR_FIRST
#define IME_PROP_KBD_CHAR_FIRST 0x00000001
#endif

namespace {

// The record ImeInquire fills (declared by the IME development kit, which
// MinGW doesn't ship).
struct ImeInfoRecord {
    DWORD private_data_size;
    DWORD property;
    DWORD conversion_caps;
    DWORD sentence_caps;
    DWORD ui_caps;
    DWORD composition_string_caps;
    DWORD select_caps;
};

struct TransMessage {
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
};

struct TransMessageList {
    UINT count;
    TransMessage messages[1];
};

// The UI window class the manager creates for each IME window; an IME
// registers it itself, with CS_IME, while it is loaded.
constexpr wchar_t kUiClass[] = L"ZZPinyinUI";
static_assert(sizeof kUiClass / sizeof kUiClass[0] <= 16, "the manager keeps at most 15 characters");

HINSTANCE g_module = nullptr;

LRESULT CALLBACK ui_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_IME_STARTCOMPOSITION:
        case WM_IME_ENDCOMPOSITION:
        case WM_IME_COMPOSITION:
        case WM_IME_NOTIFY:
        case WM_IME_SETCONTEXT:
        case WM_IME_CONTROL:
        case WM_IME_COMPOSITIONFULL:
        case WM_IME_SELECT:
        case WM_IME_CHAR:
            return 0;  // nothing is composed, so there is nothing to show
        default:
            return DefWindowProcW(window, message, wparam, lparam);
    }
}

void register_ui_class() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_IME;
    wc.lpfnWndProc = ui_window_proc;
    wc.cbWndExtra = 2 * sizeof(LONG_PTR);  // IMMGWLP_IMC and IMMGWLP_PRIVATE
    wc.hInstance = g_module;
    wc.lpszClassName = kUiClass;
    RegisterClassExW(&wc);
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = module;
        DisableThreadLibraryCalls(module);
        register_ui_class();
    } else if (reason == DLL_PROCESS_DETACH) {
        UnregisterClassW(kUiClass, module);
    }
    return TRUE;
}

BOOL WINAPI ImeInquire(ImeInfoRecord* info, LPWSTR ui_class, DWORD /*system_info_flags*/) {
    if (info == nullptr || ui_class == nullptr) return FALSE;
    info->private_data_size = 0;
    info->property = IME_PROP_UNICODE | IME_PROP_KBD_CHAR_FIRST | IME_PROP_AT_CARET;
    info->conversion_caps = IME_CMODE_NATIVE | IME_CMODE_FULLSHAPE | IME_CMODE_SYMBOL;
    info->sentence_caps = IME_SMODE_PHRASEPREDICT;
    info->ui_caps = UI_CAP_2700;
    info->composition_string_caps = 0;
    info->select_caps = SELECT_CAP_CONVERSION;
    lstrcpynW(ui_class, kUiClass, 16);
    return TRUE;
}

BOOL WINAPI ImeConfigure(HKL, HWND, DWORD, LPVOID) {
    return FALSE;  // settings live in the product's own config.exe
}

DWORD WINAPI ImeConversionList(HIMC, LPCWSTR, LPCANDIDATELIST, DWORD, UINT) {
    return 0;
}

// Selecting, activating and destroying succeed trivially: there is no
// per-context state to set up or tear down.
BOOL WINAPI ImeDestroy(UINT) {
    return TRUE;
}

BOOL WINAPI ImeSelect(HIMC, BOOL) {
    return TRUE;
}

BOOL WINAPI ImeSetActiveContext(HIMC, BOOL) {
    return TRUE;
}

LRESULT WINAPI ImeEscape(HIMC, UINT, LPVOID) {
    return 0;
}

// FALSE: the key is not the IME's, the application gets it.
BOOL WINAPI ImeProcessKey(HIMC, UINT, LPARAM, CONST LPBYTE) {
    return FALSE;
}

UINT WINAPI ImeToAsciiEx(UINT, UINT, CONST LPBYTE, TransMessageList*, UINT, HIMC) {
    return 0;  // no messages generated
}

BOOL WINAPI NotifyIME(HIMC, DWORD, DWORD, DWORD) {
    return FALSE;
}

BOOL WINAPI ImeRegisterWord(LPCWSTR, DWORD, LPCWSTR) {
    return FALSE;
}

BOOL WINAPI ImeUnregisterWord(LPCWSTR, DWORD, LPCWSTR) {
    return FALSE;
}

UINT WINAPI ImeGetRegisterWordStyle(UINT, LPSTYLEBUFW) {
    return 0;
}

UINT WINAPI ImeEnumRegisterWord(REGISTERWORDENUMPROCW, LPCWSTR, DWORD, LPCWSTR, LPVOID) {
    return 0;
}

BOOL WINAPI ImeSetCompositionString(HIMC, DWORD, LPVOID, DWORD, LPVOID, DWORD) {
    return FALSE;
}

}  // extern "C"
