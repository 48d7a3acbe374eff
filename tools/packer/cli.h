#pragma once
// imepack's command line: picks the subcommand, prints help, and turns
// errors into exit codes.

#include <string>
#include <vector>

namespace imepack {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitBadInput = 1;
inline constexpr int kExitUsage = 2;

// `args` are the arguments after the program name, in UTF-8.
int run_cli(const std::vector<std::string>& args);

}  // namespace imepack
