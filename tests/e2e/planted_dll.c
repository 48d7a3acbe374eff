/* A DLL planted where an elevated installer might look for a system
   library: named after one (version.dll, cabinet.dll...), its start-up
   code leaves a marker "<its file name>.loaded" in the folder named by
   IMEBASE_PLANT_MARKERS, then refuses to load. A marker means the
   installer ran foreign code. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t folder[MAX_PATH];
    wchar_t module[MAX_PATH];
    wchar_t marker[2 * MAX_PATH];
    DWORD n = GetEnvironmentVariableW(L"IMEBASE_PLANT_MARKERS", folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return FALSE;
    n = GetModuleFileNameW(self, module, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return FALSE;
    const wchar_t* name = module;
    for (const wchar_t* p = module; *p; ++p)
        if (*p == L'\\' || *p == L'/') name = p + 1;
    lstrcpyW(marker, folder);
    lstrcatW(marker, L"\\");
    lstrcatW(marker, name);
    lstrcatW(marker, L".loaded");
    HANDLE file = CreateFileW(marker, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, module, lstrlenW(module) * sizeof(wchar_t), &written, NULL);
        CloseHandle(file);
    }
    return FALSE;
}
