#pragma once
// The uninstaller a package may carry. A vendor who signs the installer
// program has the packer put an untouched copy of it into the package's
// top level as "unstall.exe"; the copy cut from the installer at start-up
// can't keep that signature (the signature covers the package too). The
// install puts the carried copy in place instead of the cut one when it is
// the very program that runs the install, so that a package attached to
// some other installer never brings an uninstaller of another build.

namespace install {

// Whether the file `carried` holds the same program as `reference` (the
// uninstaller cut from the running installer, or the running uninstaller
// itself when repair runs): equal but for the package offset, the
// checksum, the certificate-table entry and what follows the program.
// False when either can't be read.
bool is_same_program(const wchar_t* carried, const wchar_t* reference);

}  // namespace install
