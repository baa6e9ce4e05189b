#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace ixo {

// Every way an operation of the core can fail. The core returns these as values;
// the window and the ixo command turn them into words with FailureText, so both
// always say the same thing.
enum class FailureKind {
    CantOpenFile,     // Path: an object file that cannot be opened for reading
    BadObjectLine,    // Path, Number = line (from 1): a malformed line in an object file
    CantCreateFile,   // Path: a listing file that cannot be created
    CantWriteFile,    // Path: a file that could not be written in full
    PortNotOpened,    // Detail: why, where known (the ixo command shows it)
    CantWriteToPort,  // a send that did not go out in full
    NoResponse,       // Number = device address that gave no full answer
    EmptyProject,     // a write with no program loaded
    VerifyFail,       // Number = first differing address, Expected/Actual = the two words
};

struct Failure {
    FailureKind Kind;
    std::string Path{};
    int Number = 0;
    std::uint32_t Expected = 0;
    std::uint32_t Actual = 0;
    std::string Detail{};
};

// Empty when the operation succeeded.
using MaybeFailure = std::optional<Failure>;

// The system's own text for a failure, as shown in a message box or on standard error.
std::string FailureText(const Failure& failure);

// Further explanation shown under the text, or empty when there is none.
std::string FailureDetail(const Failure& failure);

}  // namespace ixo
