#include <cstdio>

#include "cli/Commands.h"

namespace ixo::cli {

// Placeholder until the listing printer exists.
int RunList(const std::vector<std::string>&) {
    std::fprintf(stderr, "ixo list: not available yet\n");
    return ExitFailure;
}

}  // namespace ixo::cli
