#include <windows.h>

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <span>

#include "app/workspace.h"
#include "package/mapfile.h"
#include "package/pe_certificate.h"
#include "package/pe_image.h"
#include "support/file_kind.h"
#include "support/format_bounded.h"

namespace app {
namespace {

bool exists(const wchar_t* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

// The file's own size. A file that can't be mapped is read into memory
// with two zero bytes behind it; those must not become part of the package.
std::uint64_t file_size(const wchar_t* path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return 0;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// A workspace file's path; false when it would be cut (a cut name could
// be the same file as another one of the workspace).
bool workspace_file(wchar_t (&path)[kPathUnits], const wchar_t* format, const wchar_t* workspace) {
    if (workspace[0] != L'\0' && support::format_slot(path, format, workspace) == support::kStatusOk) return true;
    path[0] = L'\0';
    return false;
}

// Writes `bytes` as a new file of exactly that size. A program cut from a
// signed installer loses the certificate-table entry that would point past
// its end, and gets the checksum of its own bytes.
bool write_part(const wchar_t* path, std::span<const std::uint8_t> bytes, bool program) {
    package::CMXMapfile part;
    if (part.Create(path, static_cast<std::uint32_t>(bytes.size())) == 0) return false;
    std::uint8_t* target = part.GetAddress(0);
    if (target == nullptr) return false;
    std::memcpy(target, bytes.data(), bytes.size());
    if (program) package::clear_signature({target, bytes.size()});
    part.Close();
    return true;
}

}  // namespace

int prepare_package(RunContext& run) {
    if (!support::is_folder(run.workspace_dir)) return 0;
    // The relaunched copy is a plain copy inside the private workspace
    // already: it is cut where it lies (read only, it is running) instead
    // of being copied a second time.
    wchar_t own_copy[kPathUnits];
    if (temporary_copy_path(run, own_copy) && _wcsicmp(own_copy, run.module_path) == 0) {
        support::copy_slot(run.source_path, run.module_path);
        return split_module(run);
    }
    if (!workspace_file(run.source_path, kScratchCopyFormat, run.workspace_dir)) return 0;
    // A plain copy: it inherits the private workspace's access list, so no
    // other program can change it between the copy and the split.
    if (!CopyFileW(run.module_path, run.source_path, FALSE)) return 0;
    // Ours to delete below, whatever attributes its source had.
    SetFileAttributesW(run.source_path, FILE_ATTRIBUTE_NORMAL);

    const int result = split_module(run);
    DeleteFileW(run.source_path);
    return result;
}

int split_module(RunContext& run) {
    package::CMXMapfile image;
    if (image.Open(run.source_path, false) == 0) return 0;
    const std::uint64_t size = file_size(run.source_path);
    const std::size_t used = size < image.GetSize() ? static_cast<std::size_t>(size) : image.GetSize();
    const std::span<const std::uint8_t> whole(image.GetAddress(0), used);
    // Empty when the header can't be read, the offset is 0 or at the end,
    // or the package is shorter than its header says. The package is
    // exactly its own length: a certificate table behind it (the installer
    // was signed) or anything else stays out of the kept package.
    const auto layout = package::split_installer_file(whole);
    if (!layout) return 0;

    if (!workspace_file(run.package_path, kPackageFileFormat, run.workspace_dir) ||
        !workspace_file(run.uninstaller_path, kUninstallerFormat, run.workspace_dir)) {
        return 0;
    }
    if (!write_part(run.uninstaller_path, layout->program, true) ||
        !write_part(run.package_path, layout->package, false))
        return 0;
    image.Close();
    return exists(run.package_path) ? 1 : 0;
}

}  // namespace app
