#include "support/fatal_error.h"

#include <windows.h>

#include <cstdlib>
#include <exception>
#include <new>

#include "support/buffer_error.h"

namespace support {
namespace {

std::terminate_handler g_previous = nullptr;

[[noreturn]] void fatal_box(const char* text) {
    // A null caption gives the system's own "Error".
    MessageBoxA(nullptr, text, nullptr, MB_OK | MB_ICONERROR | MB_TASKMODAL | MB_SETFOREGROUND);
    ExitProcess(kFatalErrorExitCode);
}

[[noreturn]] void on_terminate() {
    if (std::exception_ptr pending = std::current_exception()) {
        try {
            std::rethrow_exception(pending);
        } catch (const BufferError& error) {
            fatal_box(error.what());
        } catch (const std::bad_alloc&) {
            // Any other allocation of the program that fails ends it the
            // same way as the buffers' own.
            fatal_box(kOutOfMemoryMessage);
        } catch (...) {
        }
    }
    if (g_previous != nullptr) g_previous();
    std::abort();
}

}  // namespace

void install_fatal_error_handler() noexcept {
    std::terminate_handler previous = std::set_terminate(on_terminate);
    if (previous != on_terminate) g_previous = previous;
}

}  // namespace support
