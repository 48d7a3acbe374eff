#include "driver_error.h"

#include "text_io.h"

namespace uidriver {

void fail(const std::wstring& message) { throw DriverError(kExitFailed, to_utf8(message)); }
void fail_usage(const std::wstring& message) { throw DriverError(kExitUsage, to_utf8(message)); }
void fail_timeout(const std::wstring& message) {
    throw DriverError(kExitTimeout, to_utf8(message));
}

}  // namespace uidriver
