#pragma once
// The two errors of the growable buffers (text_buffers.h). They carry the
// message text and are never caught on the way: install_fatal_error_handler()
// (fatal_error.h) turns one that ends the program into a message box and a
// distinct exit code.

#include <exception>

namespace support {

inline constexpr char kNoTerminatorMessage[] = "The string has no terminating null character!";
inline constexpr char kOutOfMemoryMessage[] = "Fatal error: Out of memory!";

class BufferError : public std::exception {
public:
    // `message` is one of the texts above (static storage: raising needs no
    // memory, which matters when memory is what ran out).
    explicit BufferError(const char* message) noexcept : message_(message) {}
    const char* what() const noexcept override { return message_; }

    static BufferError no_terminator() noexcept { return BufferError(kNoTerminatorMessage); }
    static BufferError out_of_memory() noexcept { return BufferError(kOutOfMemoryMessage); }

private:
    const char* message_;
};

}  // namespace support
