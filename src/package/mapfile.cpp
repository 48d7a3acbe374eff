#include "package/mapfile.h"

#include <cstring>
#include <new>

namespace package {
namespace {

MappedViewPtr new_view(const wchar_t* path) {
    MappedViewPtr view(new (std::nothrow) MappedView);
    if (view) view->path.assign(path);
    return view;
}

// Maps all `size` bytes of the view's file; false leaves no mapping.
bool map_whole_file(MappedView& view, std::uint32_t size, bool writable) {
    view.mapping.reset(
        CreateFileMappingW(view.file.get(), nullptr, writable ? PAGE_READWRITE : PAGE_READONLY, 0, size, nullptr));
    if (!view.mapping) return false;
    view.view.reset(MapViewOfFile(view.mapping.get(), writable ? FILE_MAP_READ | FILE_MAP_WRITE : FILE_MAP_READ, 0, 0,
                                  size));
    if (!view.view) {
        view.mapping.reset();
        return false;
    }
    view.base = static_cast<std::uint8_t*>(view.view.get());
    view.size = size;
    return true;
}

bool set_file_size(HANDLE file, std::uint32_t size) {
    LARGE_INTEGER end;
    end.QuadPart = size;
    return SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
}

// The road for files that can't be mapped: the whole file in zero-filled
// memory with two spare zero bytes after it.
MappedViewPtr read_into_memory(const wchar_t* path) {
    support::UniqueHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return nullptr;
    const DWORD size = GetFileSize(file.get(), nullptr);
    if (size == INVALID_FILE_SIZE || size > UINT32_MAX - 2) return nullptr;
    MappedViewPtr view = new_view(path);
    if (!view) return nullptr;
    view->memory.reset(new (std::nothrow) std::uint8_t[std::size_t{size} + 2]());
    if (!view->memory) return nullptr;
    DWORD done = 0;
    while (done < size) {
        DWORD read = 0;
        if (!ReadFile(file.get(), view->memory.get() + done, size - done, &read, nullptr)) return nullptr;
        if (read == 0) break;  // the file shrank meanwhile: the rest stays zero
        done += read;
    }
    view->base = view->memory.get();
    view->size = size + 2;
    return view;
}

}  // namespace

MappedViewPtr open_mapped_file(const wchar_t* path, bool writable) {
    if (path == nullptr || GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) return nullptr;
    MappedViewPtr view = new_view(path);
    if (!view) return nullptr;
    view->file.reset(CreateFileW(path, writable ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
                                 writable ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (view->file) {
        const DWORD size = GetFileSize(view->file.get(), nullptr);  // the low 32 bits
        if (size != 0 && map_whole_file(*view, size, writable)) return view;
    }
    view.reset();
    return read_into_memory(path);
}

MappedViewPtr create_mapped_file(const wchar_t* path, std::uint32_t size) {
    if (path == nullptr) return nullptr;
    MappedViewPtr view = new_view(path);
    if (!view) return nullptr;
    view->file.reset(CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!view->file || !set_file_size(view->file.get(), size)) return nullptr;
    // A mapping of size 0 can't be made: an empty file stays behind.
    if (size == 0 || !map_whole_file(*view, size, true)) return nullptr;
    return view;
}

void close_mapped_file(MappedViewPtr& view, bool writable) {
    if (!view) return;
    if (view->file && view->view && writable) FlushViewOfFile(view->view.get(), 0);
    view.reset();
}

bool resize_mapped_file(MappedView& view, std::uint32_t size) {
    if (!view.file) return false;  // an in-memory copy has no file to resize
    if (view.view) FlushViewOfFile(view.view.get(), 0);
    view.view.reset();
    view.mapping.reset();
    view.base = nullptr;
    view.size = 0;
    if (!set_file_size(view.file.get(), size)) return false;
    return size != 0 && map_whole_file(view, size, true);
}

std::uint8_t* CMXMapfile::GetAddress(std::uint32_t offset) {
    if (!view_ || view_->base == nullptr || offset > view_->size) return nullptr;
    return view_->base + offset;
}

std::uint32_t CMXMapfile::GetSize() {
    return view_ ? view_->size : 0;
}

std::uint32_t CMXMapfile::Create(const wchar_t* path, std::uint32_t size) {
    Close();
    path_.assign(path);
    writable_ = TRUE;
    view_ = create_mapped_file(path, size);
    return view_ ? view_->size : 0;
}

std::uint32_t CMXMapfile::Open(const wchar_t* path, bool writable) {
    Close();
    path_.assign(path);
    writable_ = writable ? TRUE : FALSE;
    view_ = open_mapped_file(path, writable);
    return view_ ? view_->size : 0;
}

void CMXMapfile::Close() {
    close_mapped_file(view_, writable_ != FALSE);
}

int CMXMapfile::Resize(std::uint32_t new_size) {
    if (!view_ || !writable_) return 0;
    return resize_mapped_file(*view_, new_size) ? 1 : 0;
}

bool load_install_info_file(const wchar_t* path, void* record, std::size_t record_size) {
    CMXMapfile file;
    if (file.Open(path, false) == 0) return false;
    const std::size_t available = file.GetSize();
    const std::size_t copied = available < record_size ? available : record_size;
    std::memset(record, 0, record_size);
    std::memcpy(record, file.GetAddress(0), copied);
    return true;
}

}  // namespace package
