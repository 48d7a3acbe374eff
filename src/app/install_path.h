#pragma once
// The one reader of a product's install folder as the install recorded it:
// "ZMEInstallPath" of "Software\\marlix\\<product>". The start-up reads it
// to know whether a mode's product is installed, the wizard to propose the
// folder again, the update to find the files it replaces.

#include "app/records.h"

namespace app {

enum class InstallPathRoots {
    machine_only,       // HKEY_LOCAL_MACHINE only
    machine_then_user,  // the machine's value, else the current user's
};

// The folder, with a trailing backslash (added when the value has none),
// into `path`. The machine's value comes first: the program runs elevated,
// and the current user's key is anybody's to write, so it is only the
// fallback, and what a removal does with that folder is guarded
// (remove/install_ownership.h). A value counts only when it is non-empty
// and fits the slot whole with its backslash. false, with `path` empty,
// otherwise, and for a product name that isn't one plain key name.
bool read_install_path(const wchar_t* product, wchar_t (&path)[kPathUnits], InstallPathRoots roots);

}  // namespace app
