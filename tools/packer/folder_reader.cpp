#include "folder_reader.h"

#include "file_io.h"
#include "tool_error.h"

#include <algorithm>
#include <cstring>

namespace imepack {

namespace {

const std::filesystem::path* disk_path(const CabinetFile& f) {
    return std::get_if<std::filesystem::path>(&f.source);
}

}  // namespace

void FolderReader::open_current() {
    const CabinetFile& f = files_[index_];
    done_ = 0;
    if (const auto* path = disk_path(f)) {
        size_ = f.size;
        stream_ = std::ifstream(*path, std::ios::binary);
        if (!stream_) throw InputError(path_to_utf8(*path) + ": can't open the file for reading");
    } else {
        size_ = std::get<std::vector<std::uint8_t>>(f.source).size();
    }
    open_ = true;
}

std::size_t FolderReader::read_current(std::span<std::uint8_t> out) {
    const CabinetFile& f = files_[index_];
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), size_ - done_));
    const auto* path = disk_path(f);
    if (path == nullptr) {
        const auto& bytes = std::get<std::vector<std::uint8_t>>(f.source);
        if (want != 0) std::memcpy(out.data(), bytes.data() + done_, want);
    } else if (want != 0) {
        stream_.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(want));
        if (static_cast<std::size_t>(stream_.gcount()) != want) {
            if (stream_.bad()) throw InputError(path_to_utf8(*path) + ": reading the file failed");
            throw InputError(path_to_utf8(*path) + ": the file became shorter while it was being packed");
        }
    }
    done_ += want;
    return want;
}

void FolderReader::finish_current() {
    if (const auto* path = disk_path(files_[index_])) {
        if (stream_.peek() != std::ifstream::traits_type::eof()) {
            throw InputError(path_to_utf8(*path) + ": the file grew while it was being packed");
        }
        stream_.close();
    }
    open_ = false;
    ++index_;
}

std::size_t FolderReader::read(std::span<std::uint8_t> out) {
    std::size_t filled = 0;
    while (filled < out.size() && index_ < files_.size()) {
        if (!open_) open_current();
        filled += read_current(out.subspan(filled));
        if (done_ == size_) finish_current();
    }
    return filled;
}

}  // namespace imepack
