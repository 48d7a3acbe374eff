#include <windows.h>

#include "app/folders.h"
#include "app/workspace.h"
#include "package/cabinet_extract.h"
#include "package/package_key.h"
#include "support/format_bounded.h"

namespace app {

int unpack_package(RunContext& run) {
    // A cut extraction folder could be some other folder of the workspace's
    // parent, which the clearing below would remove.
    if (run.workspace_dir[0] == L'\0' ||
        support::format_slot(run.extract_dir, kExtractFolderFormat, run.workspace_dir) != support::kStatusOk) {
        run.extract_dir[0] = L'\0';
        return 0;
    }
    // Clear an earlier extraction; what can't be removed would mix with
    // this package's files.
    remove_directory_tree(run.extract_dir);
    if (GetFileAttributesW(run.extract_dir) != INVALID_FILE_ATTRIBUTES) return 0;

    // The extraction object holds the package reader's 64 KiB work buffer;
    // when memory can't be had it raises the fatal out-of-memory error.
    Cabinet::CExtract extract;
    extract.SetKey(package::kPackageKey, package::kPackageKeyLength);
    if (!extract.CreateFDIContext()) return 0;
    const BOOL extracted = extract.ExtractFile(run.package_path, run.extract_dir);
    extract.DestroyFDIContext();
    return extracted ? 1 : 0;
}

}  // namespace app
