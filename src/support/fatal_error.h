#pragma once
// How the program ends on a BufferError (buffer_error.h) or a failed
// allocation (std::bad_alloc, shown as "Fatal error: Out of memory!").
// Nothing catches those errors; once the handler is installed at start-up,
// an uncaught one (on any thread) shows its text in a message box and ends
// the process with kFatalErrorExitCode. Anything else that ends up in std::terminate goes on
// to the handler that was there before.

namespace support {

inline constexpr unsigned kFatalErrorExitCode = 0xFE;

// Call once, first thing in the program's entry point.
void install_fatal_error_handler() noexcept;

}  // namespace support
