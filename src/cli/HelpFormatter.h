#pragma once

#include <memory>

namespace CLI {
class Formatter;
}

namespace ixo::cli {

// Help as GNU tools write it: usage, what the command does, then its arguments,
// options and commands, each with its explanation from column 25, wrapped at 79
// columns; a command is listed with its Summary from the command table.
std::shared_ptr<CLI::Formatter> MakeHelpFormatter();

}  // namespace ixo::cli
