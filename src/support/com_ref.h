#pragma once
// One COM interface pointer, released when it goes: the RAII owner for the
// component objects the program uses (shell links, the web-browser
// control).

#include <unknwn.h>

#include <utility>

namespace support {

template <typename Interface>
class ComRef {
public:
    ComRef() noexcept = default;
    // Takes over a pointer that is already counted for us.
    explicit ComRef(Interface* pointer) noexcept : pointer_(pointer) {}
    ComRef(ComRef&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    ComRef& operator=(ComRef&& other) noexcept {
        if (this != &other) reset(std::exchange(other.pointer_, nullptr));
        return *this;
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef() { reset(); }

    Interface* get() const noexcept { return pointer_; }
    Interface* operator->() const noexcept { return pointer_; }
    explicit operator bool() const noexcept { return pointer_ != nullptr; }
    void reset(Interface* pointer = nullptr) noexcept {
        if (pointer_ != nullptr) pointer_->Release();
        pointer_ = pointer;
    }
    // For creation calls that hand the pointer out through void**.
    void** put() noexcept {
        reset();
        return reinterpret_cast<void**>(&pointer_);
    }
    // Another interface of the same object; empty when it has none.
    template <typename Other>
    ComRef<Other> query(REFIID id) const noexcept {
        ComRef<Other> other;
        if (pointer_ != nullptr) pointer_->QueryInterface(id, other.put());
        return other;
    }

private:
    Interface* pointer_ = nullptr;
};

// The reference count of a COM object this program implements itself: the
// object's AddRef and Release forward to it, and the last Release deletes
// the object (the object befriends ComCount when its destructor is
// private, as a counted object's should be).
class ComCount {
public:
    unsigned long add() noexcept { return static_cast<unsigned long>(InterlockedIncrement(&count_)); }
    template <typename Object>
    unsigned long release(Object* object) noexcept {
        const long left = InterlockedDecrement(&count_);
        if (left == 0) delete object;
        return static_cast<unsigned long>(left);
    }

private:
    long count_ = 1;
};

}  // namespace support
