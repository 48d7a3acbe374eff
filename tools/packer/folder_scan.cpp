#include "folder_scan.h"

#include "cabinet_format.h"
#include "cabinet_names.h"
#include "dos_time.h"
#include "file_io.h"
#include "tool_error.h"

#include <algorithm>

namespace imepack {

namespace fs = std::filesystem;

namespace {

// "sub/name.txt" relative to the root -> "sub\name.txt". A backslash
// inside a part (legal in Unix names) would turn into a folder on Windows.
std::string stored_name(const fs::path& relative, const std::string& where) {
    std::string name;
    for (const fs::path& part : relative) {
        const std::string text = path_to_utf8(part);
        if (text.find('\\') != std::string::npos) throw InputError(where + ": the name holds a backslash");
        if (!name.empty()) name += '\\';
        name += text;
    }
    return name;
}

CabinetFile describe_file(const fs::directory_entry& entry, const fs::path& root) {
    const std::string where = path_to_utf8(entry.path());
    std::error_code ec;
    CabinetFile f;
    f.name = stored_name(entry.path().lexically_relative(root), where);
    f.source = entry.path();
    f.size = entry.file_size(ec);
    if (ec) throw InputError(where + ": can't read the file's size (" + ec.message() + ")");
    const fs::file_time_type written = entry.last_write_time(ec);
    if (ec) throw InputError(where + ": can't read the file's time (" + ec.message() + ")");
    const DosTime stamp = dos_time_from_file_time(written);
    f.dos_date = stamp.date;
    f.dos_time = stamp.time;
    const fs::perms mode = entry.status(ec).permissions();
    if (ec) throw InputError(where + ": can't read the file's mode (" + ec.message() + ")");
    f.attributes = cab::kAttribArchive;
    if ((mode & fs::perms::owner_write) == fs::perms::none) f.attributes |= cab::kAttribReadOnly;
    if (const std::string problem = stored_name_problem(f.name); !problem.empty()) {
        throw InputError(where + ": " + problem);
    }
    return f;
}

}  // namespace

std::vector<CabinetFile> scan_folder(const fs::path& root) {
    const std::string root_name = path_to_utf8(root);
    std::error_code ec;
    if (!fs::exists(root, ec)) throw InputError(root_name + ": no such folder");
    if (!fs::is_directory(root, ec)) throw InputError(root_name + ": not a folder");

    std::vector<CabinetFile> files;
    fs::recursive_directory_iterator it(root, ec);
    if (ec) throw InputError(root_name + ": can't list the folder (" + ec.message() + ")");
    // When listing fails, the folder at fault is the last one entered.
    fs::path last = root;
    for (; it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const fs::directory_entry& entry = *it;
        const std::string where = path_to_utf8(entry.path());
        last = entry.path();
        if (entry.is_symlink(ec) && entry.is_directory(ec)) {
            throw InputError(where + ": links to folders aren't followed; copy the folder in instead");
        }
        if (entry.is_directory(ec)) continue;
        if (!entry.is_regular_file(ec)) {
            throw InputError(where + ": neither a file nor a folder (a device, socket or broken link?)");
        }
        files.push_back(describe_file(entry, root));
    }
    if (ec) throw InputError(path_to_utf8(last) + ": can't list the folder (" + ec.message() + ")");
    std::sort(files.begin(), files.end(),
              [](const CabinetFile& a, const CabinetFile& b) { return a.name < b.name; });
    return files;
}

}  // namespace imepack
