#pragma once
// The process-wide records of the running copy and of its command line.
// The start-up allocates one of each, zero-filled, before anything reads
// them and frees them when the mode's dialog has closed; every other part
// of the program only reads or fills their fields. Text is UTF-16 in fixed
// slots: a slot of N units holds N - 1 characters and is always terminated
// (support::copy_slot / format_slot).

#include <cstddef>

namespace app {

inline constexpr std::size_t kPathUnits = 260;
inline constexpr std::size_t kNameUnits = 40;
inline constexpr std::size_t kDisplayNameUnits = 80;

// Mode letters of RunContext::mode; 0 is the install.
inline constexpr wchar_t kModeInstall = L'\0';
inline constexpr wchar_t kModeUninstall = L'U';
inline constexpr wchar_t kModeRepair = L'R';
inline constexpr wchar_t kModeUpdate = L'G';

struct RunContext {
    wchar_t module_path[kPathUnits];       // full path of the running executable
    wchar_t source_path[kPathUnits];       // the "file=" path; in install mode later the scratch copy
    wchar_t workspace_dir[kPathUnits];     // temporary workspace, ends in a backslash
    wchar_t package_path[kPathUnits];      // enciphered package to extract
    wchar_t uninstaller_path[kPathUnits];  // the executable without its package
    wchar_t command_line[kPathUnits];      // argument string of the running copy
    wchar_t mode;                          // kModeUninstall, kModeRepair, kModeUpdate or 0
    wchar_t extract_dir[kPathUnits];       // where the package is extracted, ends in a backslash
};

struct CommandRecord {
    wchar_t install_dir[kPathUnits];         // empty: the named product is not installed
    wchar_t product_name[kNameUnits];        // the switch's name=[...]
    wchar_t display_name[kDisplayNameUnits]; // DisplayName of its uninstall entry
};

}  // namespace app
