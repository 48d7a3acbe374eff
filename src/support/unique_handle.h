#pragma once
// Owners for the system's handles, so every routine releases what it
// acquired on every path.

#include <windows.h>

#include <type_traits>
#include <utility>

namespace support {

// A handle closed with `Close`; `Invalid` and null both mean none (files
// use INVALID_HANDLE_VALUE, mappings and most others use null).
template <typename Handle, auto Close>
class UniqueOwner {
public:
    UniqueOwner() noexcept = default;
    explicit UniqueOwner(Handle handle) noexcept : handle_(handle) {}
    UniqueOwner(UniqueOwner&& other) noexcept : handle_(std::exchange(other.handle_, Handle{})) {}
    UniqueOwner& operator=(UniqueOwner&& other) noexcept {
        if (this != &other) reset(std::exchange(other.handle_, Handle{}));
        return *this;
    }
    UniqueOwner(const UniqueOwner&) = delete;
    UniqueOwner& operator=(const UniqueOwner&) = delete;
    ~UniqueOwner() { reset(); }

    Handle get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return valid(handle_); }
    Handle release() noexcept { return std::exchange(handle_, Handle{}); }
    void reset(Handle handle = Handle{}) noexcept {
        if (valid(handle_)) Close(handle_);
        handle_ = handle;
    }
    // For APIs that hand a handle out through a pointer.
    Handle* put() noexcept {
        reset();
        return &handle_;
    }

private:
    static bool valid(Handle handle) noexcept {
        if constexpr (std::is_same_v<Handle, HANDLE>) return handle != nullptr && handle != INVALID_HANDLE_VALUE;
        else return handle != Handle{};
    }
    Handle handle_{};
};

namespace detail {
inline void close_handle(HANDLE handle) noexcept { CloseHandle(handle); }
inline void close_key(HKEY key) noexcept { RegCloseKey(key); }
inline void free_library(HMODULE module) noexcept { FreeLibrary(module); }
inline void unmap_view(void* base) noexcept { UnmapViewOfFile(base); }
}  // namespace detail

using UniqueHandle = UniqueOwner<HANDLE, detail::close_handle>;
using UniqueKey = UniqueOwner<HKEY, detail::close_key>;
using UniqueModule = UniqueOwner<HMODULE, detail::free_library>;
using UniqueView = UniqueOwner<void*, detail::unmap_view>;

}  // namespace support
