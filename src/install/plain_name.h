#pragma once
// The plain-name check lives in support (support/plain_name.h), where the
// start-up's readers use it too; the install steps name it as their own.

#include "support/plain_name.h"

namespace install {
using support::is_plain_name;
}  // namespace install
