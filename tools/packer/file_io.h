#pragma once
// Whole-file reads and atomic whole-file writes, with errors that name the
// file. Paths travel through the tool as UTF-8 text.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace imepack {

std::filesystem::path path_from_utf8(std::string_view text);
std::string path_to_utf8(const std::filesystem::path& path);

// The whole file; throws InputError when it is missing, not a regular file
// or unreadable.
std::vector<std::uint8_t> read_file(const std::filesystem::path& path);

// Writes `bytes` to a new temporary file beside `path` and renames it over
// `path` only once everything is written, so a failure never leaves a
// partial or truncated output behind. Throws InputError on failure.
void write_file_atomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

}  // namespace imepack
