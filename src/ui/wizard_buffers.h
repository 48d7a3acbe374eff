#pragma once
// The texts the wizard's pages share with its worker for the length of the
// process: the install directory, the user name and the company. The pages
// fill them when they open (from the system and the registry), the worker
// reads the edits back into them when the install starts. So a second
// wizard in the same process starts from what the first one ended with.

#include <cstddef>

namespace ui {

inline constexpr std::size_t kDirectoryUnits = 260;
inline constexpr std::size_t kUserFieldUnits = 256;

struct WizardBuffers {
    wchar_t directory[kDirectoryUnits];
    wchar_t user_name[kUserFieldUnits];
    wchar_t company[kUserFieldUnits];
};

// The process's one set, empty at start.
WizardBuffers& wizard_buffers() noexcept;

}  // namespace ui
