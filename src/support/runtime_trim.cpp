// Pieces of the C++ runtime that the installer replaces to stay small. The
// installer is linked statically and this file is one of its own objects,
// so these definitions are taken before the runtime library's. Only the
// installer gets them (src/app/CMakeLists.txt): the test programs keep the
// runtime whole.
#include <cstdlib>
#include <exception>
#include <new>

// The default terminate handler writes the exception's demangled type name
// to a console that a windowed program doesn't have, and brings the whole
// demangler (about 45 KiB) in. The start-up installs its own handler first
// thing (support/fatal_error.h); what ends up in the default one before that
// just ends the process.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
}  // namespace __gnu_cxx

// The containers' error raisers would bring the exception classes that
// carry a std::string, and with them two whole string libraries and the
// random-device code (about 60 KiB). Growing beyond the address space is
// running out of memory; the other errors are faults of the program that
// nothing catches, raised as one small type that ends it the same way.
namespace {

class RuntimeFault : public std::exception {
public:
    explicit RuntimeFault(const char* what) noexcept : what_(what) {}
    const char* what() const noexcept override { return what_; }

private:
    const char* what_;
};

}  // namespace

namespace std {
void __throw_bad_alloc() {
    throw std::bad_alloc();
}
void __throw_bad_array_new_length() {
    throw std::bad_array_new_length();
}
void __throw_length_error(const char*) {
    throw std::bad_alloc();
}
void __throw_logic_error(const char* what) {
    throw RuntimeFault(what);
}
void __throw_out_of_range_fmt(const char* what, ...) {
    throw RuntimeFault(what);
}
void __throw_bad_function_call() {
    throw RuntimeFault("bad function call");
}
void __throw_system_error(int) {
    throw RuntimeFault("system error");
}
}  // namespace std
