#pragma once
// Helpers for Windows tests: a temporary folder of the test's own that is
// removed with everything in it, the path of a fixture built beside the
// tests, unique names, and whole-file reads and writes.

#include <cstdint>
#include <string>
#include <vector>

namespace wintest {

// A fresh folder under the temporary folder, removed (with its contents)
// when the object goes.
class ScratchFolder {
public:
    explicit ScratchFolder(const wchar_t* tag = L"imebase");
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder();

    const std::wstring& path() const { return path_; }  // without a trailing backslash
    std::wstring file(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

// A name no other test run uses at the same time: prefix + process id +
// a counter.
std::wstring unique_name(const wchar_t* prefix);

// A program or library built in tests/win/fixtures, as a Windows path.
std::wstring fixture_path(const wchar_t* file_name);

bool file_exists(const std::wstring& path);
bool folder_exists(const std::wstring& path);
std::vector<std::uint8_t> read_file(const std::wstring& path);
bool write_file(const std::wstring& path, const std::vector<std::uint8_t>& bytes);
// Removes a folder and everything below it; true when it is gone.
bool remove_tree(const std::wstring& path);

}  // namespace wintest
