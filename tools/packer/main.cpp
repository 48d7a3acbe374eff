// imepack's entry point on Unix: arguments arrive as UTF-8 already.
#include "cli.h"

int main(int argc, char** argv) {
    return imepack::run_cli(std::vector<std::string>(argv + 1, argv + argc));
}
