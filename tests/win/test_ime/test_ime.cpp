// The smallest IME module the registration tests can install: every entry
// point the input-method manager looks for is there, and none of them does
// anything. Registration only records the file; nothing here is loaded by
// the tests.
#include <windows.h>
#include <imm.h>

extern "C" {

BOOL WINAPI ImeInquire(void*, LPWSTR class_name, DWORD) {
    if (class_name != nullptr) class_name[0] = L'\0';
    return FALSE;
}
BOOL WINAPI ImeConfigure(HKL, HWND, DWORD, void*) { return FALSE; }
DWORD WINAPI ImeConversionList(HIMC, LPCWSTR, void*, DWORD, UINT) { return 0; }
BOOL WINAPI ImeDestroy(UINT) { return TRUE; }
LRESULT WINAPI ImeEscape(HIMC, UINT, void*) { return 0; }
BOOL WINAPI ImeProcessKey(HIMC, UINT, LPARAM, const BYTE*) { return FALSE; }
BOOL WINAPI ImeSelect(HIMC, BOOL) { return TRUE; }
BOOL WINAPI ImeSetActiveContext(HIMC, BOOL) { return TRUE; }
UINT WINAPI ImeToAsciiEx(UINT, UINT, const BYTE*, void*, UINT, HIMC) { return 0; }
BOOL WINAPI NotifyIME(HIMC, DWORD, DWORD, DWORD) { return FALSE; }
BOOL WINAPI ImeRegisterWord(LPCWSTR, DWORD, LPCWSTR) { return FALSE; }
BOOL WINAPI ImeUnregisterWord(LPCWSTR, DWORD, LPCWSTR) { return FALSE; }
UINT WINAPI ImeGetRegisterWordStyle(UINT, void*) { return 0; }
UINT WINAPI ImeEnumRegisterWord(void*, LPCWSTR, DWORD, LPCWSTR, void*) { return 0; }
BOOL WINAPI ImeSetCompositionString(HIMC, DWORD, const void*, DWORD, const void*, DWORD) { return FALSE; }

}  // extern "C"
