#pragma once
// The packer's one error type for bad input: a missing or unreadable file,
// an input beyond the cabinet format's limits, a malformed description, an
// installer that isn't a PE image. The command line turns it into exit code 1
// with its message; the message names the file (and line) at fault.

#include <stdexcept>
#include <string>

namespace imepack {

class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace imepack
