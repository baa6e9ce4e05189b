#pragma once

#include <string>

#include "core/Failure.h"

namespace ixo::cli {

// Prints "ixo: message" on standard error, after what went to standard output so
// far; returns ExitFailure.
int Fail(const std::string& message);

// Prints the failure's message (FailureMessage) after "ixo: " on standard error, or
// a malformed object file's place and why as compilers place an error; returns
// ExitFailure.
int Fail(const Failure& failure);

}  // namespace ixo::cli
