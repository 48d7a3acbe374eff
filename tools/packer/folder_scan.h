#pragma once
// Lists a product folder for the cabinet: every regular file below it, in
// byte order of the stored names, with its size, local DOS time stamp and
// attributes. Read-only comes from the file mode (no owner write
// permission); every file also gets the archive bit, as files fresh from a
// copy have on Windows. Hidden and system bits are never set. Empty folders
// are not stored: a cabinet holds only files.

#include "cabinet_writer.h"

#include <filesystem>
#include <vector>

namespace imepack {

// Throws InputError for a missing folder, an unreadable entry, a name the
// cabinet can't hold, or an entry that is neither a file nor a folder
// (devices, sockets, links to folders).
std::vector<CabinetFile> scan_folder(const std::filesystem::path& root);

}  // namespace imepack
