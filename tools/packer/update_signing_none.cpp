// Windows builds of the packer have no OpenSSL: keys are made and lists
// signed with the native imepack (or OpenSSL's own command line).

#include "tool_error.h"
#include "update_signing.h"

namespace imepack {
namespace {

[[noreturn]] void unavailable(const char* command) {
    throw InputError(std::string(command) +
                     " is in the native imepack only (built with OpenSSL); or use openssl, see README \"Signing updates\"");
}

}  // namespace

void command_keygen(const std::string&, const std::string&, std::FILE*) { unavailable("keygen"); }
void command_sign_list(const std::string&, const std::string&, const std::string&, std::FILE*) {
    unavailable("sign-list");
}

}  // namespace imepack
