#pragma once
// Files read and written through memory-mapped views: "InstallInfo.dif",
// the installer's own image when it is cut into uninstaller and package,
// and the update engines' text files.
//
// A file that can't be mapped (an empty one always: a mapping of size 0
// can't be made) is read into memory instead, with two zero bytes after its
// contents so that a text file is always terminated; its size then counts
// those two bytes. Large files are never read into memory otherwise.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "support/text_slot.h"
#include "support/unique_handle.h"

namespace package {

// One open file: either a mapped view (file and mapping handles set) or an
// in-memory copy (no file handle). Everything in it is released when it
// goes.
struct MappedView {
    std::uint32_t size = 0;  // bytes of the contents
    support::PathSlot path;
    support::UniqueHandle file;
    support::UniqueHandle mapping;
    support::UniqueView view;                 // the mapped view, unmapped last-in first-out
    std::unique_ptr<std::uint8_t[]> memory;  // the in-memory copy
    std::uint8_t* base = nullptr;            // start of the view or of the copy
};

using MappedViewPtr = std::unique_ptr<MappedView>;

// The routines under CMXMapfile, for code that reads a file without the
// class. Each returns null on failure.
MappedViewPtr open_mapped_file(const wchar_t* path, bool writable);
MappedViewPtr create_mapped_file(const wchar_t* path, std::uint32_t size);
// Flushes a writable view's pages to the file first; frees everything.
void close_mapped_file(MappedViewPtr& view, bool writable);
// Sets a file-backed view's file to `size` bytes and maps it again. On
// failure the part that couldn't be had stays empty (no view, size 0).
bool resize_mapped_file(MappedView& view, std::uint32_t size);

// One object per open file. The class is final: nothing derives from it,
// so its destructor (which closes the file) needs not be virtual.
class CMXMapfile final {
public:
    CMXMapfile() noexcept = default;
    CMXMapfile(const CMXMapfile&) = delete;
    CMXMapfile& operator=(const CMXMapfile&) = delete;
    ~CMXMapfile() { Close(); }

    // base + offset of the open contents; null when nothing is open or the
    // offset lies beyond the end.
    virtual std::uint8_t* GetAddress(std::uint32_t offset = 0);
    // Size of the open contents (on the in-memory road: file size + 2); 0
    // when nothing is open.
    virtual std::uint32_t GetSize();
    // Creates (or truncates) the file with exactly `size` bytes, mapped
    // read-write. Returns the size, 0 on failure (always for size 0, which
    // leaves an empty file behind).
    virtual std::uint32_t Create(const wchar_t* path, std::uint32_t size);
    // Opens an existing file, read-only or read-write. Returns the size of
    // the contents, 0 on failure. A file already open is closed first.
    virtual std::uint32_t Open(const wchar_t* path, bool writable);
    // Releases the open file, flushing first when it was opened writable.
    virtual void Close();
    // Changes the size of a file opened for writing (and mapped) and maps
    // it again. Returns 1 on success, 0 on failure; after a failure the
    // contents can't be reached until the file is opened again.
    virtual int Resize(std::uint32_t new_size);

    // The path given to the last Open or Create (cut to 259 characters).
    const wchar_t* path() const noexcept { return path_.c_str(); }

private:
    support::PathSlot path_;
    BOOL writable_ = FALSE;
    MappedViewPtr view_;
};

// Loads an install information file into a record of `record_size` bytes:
// the file's first record_size bytes are copied and whatever a shorter file
// lacks is zero. Returns false (record untouched) when the file can't be
// opened.
bool load_install_info_file(const wchar_t* path, void* record, std::size_t record_size);

}  // namespace package
