#include "file_io.h"

#include "tool_error.h"

#include <fstream>
#include <random>
#include <system_error>

namespace imepack {

namespace fs = std::filesystem;

namespace {

// Removes the temporary file unless it has been renamed into place.
class TemporaryFile {
public:
    explicit TemporaryFile(fs::path path) : path_(std::move(path)) {}
    ~TemporaryFile() {
        if (!committed_) {
            std::error_code ignored;
            fs::remove(path_, ignored);
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const fs::path& path() const { return path_; }
    void commit() { committed_ = true; }

private:
    fs::path path_;
    bool committed_ = false;
};

fs::path temporary_name_beside(const fs::path& target) {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto tag = (static_cast<std::uint64_t>(random()) << 32) ^ random();
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%016llx.tmp", static_cast<unsigned long long>(tag));
        fs::path candidate = target;
        candidate += suffix;
        std::error_code ec;
        if (!fs::exists(candidate, ec) && !ec) return candidate;
    }
    throw InputError(path_to_utf8(target) + ": can't find a free temporary name beside it");
}

}  // namespace

fs::path path_from_utf8(std::string_view text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

std::string path_to_utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::vector<std::uint8_t> read_file(const fs::path& path) {
    const std::string name = path_to_utf8(path);
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (!fs::exists(status)) throw InputError(name + ": no such file");
    if (!fs::is_regular_file(status)) throw InputError(name + ": not a regular file");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw InputError(name + ": can't open the file for reading");
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec) throw InputError(name + ": can't read the file's size");
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (static_cast<std::uintmax_t>(in.gcount()) != size) throw InputError(name + ": reading the file failed");
    return bytes;
}

void write_file_atomically(const fs::path& path, std::span<const std::uint8_t> bytes) {
    const std::string name = path_to_utf8(path);
    std::error_code ec;
    if (fs::is_directory(path, ec)) throw InputError(name + ": is a folder, not a file name");
    TemporaryFile temp(temporary_name_beside(path));
    {
        std::ofstream out(temp.path(), std::ios::binary | std::ios::trunc);
        if (!out) throw InputError(name + ": can't create the output file");
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) throw InputError(name + ": writing the output file failed");
    }
    fs::rename(temp.path(), path, ec);
    if (ec) throw InputError(name + ": can't put the output file in place (" + ec.message() + ")");
    temp.commit();
}

}  // namespace imepack
