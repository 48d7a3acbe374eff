// The demo product's code-table driver. A real driver looks codes up in
// its tables for the IME module; this one only tells its name, which is
// all the installer and the updater ever see of it (they replace it by
// file name and version).
#include <windows.h>

extern "C" {

// Copies the driver's name into `buffer` (always terminated) and returns
// its length, or 0 when there is no room at all.
int WINAPI ZZCodeTableName(wchar_t* buffer, int units) {
    static constexpr wchar_t kName[] = L"zzpinyin_mb";
    if (buffer == nullptr || units <= 0) return 0;
    lstrcpynW(buffer, kName, units);
    return lstrlenW(buffer);
}

}  // extern "C"
