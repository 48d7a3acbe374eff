#include "support/fatal_error.h"

#include <windows.h>

#include <cstdlib>
#include <exception>

#include "support/buffer_error.h"

namespace support {
namespace {

std::terminate_handler g_previous = nullptr;

[[noreturn]] void on_terminate() {
    if (std::exception_ptr pending = std::current_exception()) {
        try {
            std::rethrow_exception(pending);
        } catch (const BufferError& error) {
            // A null caption gives the system's own "Error".
            MessageBoxA(nullptr, error.what(), nullptr, MB_OK | MB_ICONERROR | MB_TASKMODAL | MB_SETFOREGROUND);
            ExitProcess(kFatalErrorExitCode);
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
