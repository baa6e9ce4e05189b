#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace ixo {

// Every way an operation of the core can fail. The core returns these as values;
// the window and the ixo command turn them into words with FailureText, so both
// always say the same thing.
enum class FailureKind {
    CantOpenFile,       // an object file that cannot be opened for reading
    BadObjectLine,      // a malformed line in an object file
    TextLeftOut,        // an object file that goes on after its program
    CantCreateFile,     // a listing file that cannot be created
    CantWriteFile,      // a file that could not be written in full
    PortNotOpened,      // a device command on a link that is not open
    CantWriteToPort,    // a send that did not go out in full
    NoResponse,         // a device address that gave no full answer
    SentMoreThanAsked,  // bytes from the device beyond the answer to a read
    OutOfStep,          // answers to a read that belong to earlier requests
    EmptyProject,       // a write with no program loaded
    VerifyFail,         // the device holds another program than the one written
};

// A failure and what its words need. Made by the functions below, one per kind, so
// that each reads as a sentence where it is made; a field a kind does not use stays
// empty.
struct Failure {
    FailureKind Kind;
    std::string Path{};  // the file of the file kinds
    int Line = 0;        // BadObjectLine, TextLeftOut: the line, from 1
    int Address = 0;     // NoResponse, VerifyFail: the device address; SentMoreThanAsked,
                         // OutOfStep: the address whose answer the extra bytes followed
    std::uint32_t ProgramWord = 0;  // VerifyFail: the program's word at Address
    std::uint32_t DeviceWord = 0;   // VerifyFail: the device's word at Address
    // PortNotOpened, CantWriteToPort and the file kinds: the system's reason, where
    // known; BadObjectLine, TextLeftOut: what is wrong with the line.
    std::string Why{};
};

Failure CantOpenFile(const std::string& path, const std::string& why = {});
Failure BadObjectLine(const std::string& path, int line, const std::string& why = {});
// Line and all after it were left out of the program, for why.
Failure TextLeftOut(const std::string& path, int line, const std::string& why);
Failure CantCreateFile(const std::string& path, const std::string& why = {});
Failure CantWriteFile(const std::string& path, const std::string& why = {});
Failure PortNotOpened(const std::string& why = {});
Failure CantWriteToPort(const std::string& why = {});
Failure NoResponseAt(int address);
Failure SentMoreThanAskedAfter(int address);
Failure OutOfStepAfter(int address);
Failure EmptyProject();
// The first address at which the device's word differs from the program's.
Failure VerifyFailAt(int address, std::uint32_t programWord, std::uint32_t deviceWord);

// Empty when the operation succeeded.
using MaybeFailure = std::optional<Failure>;

// The system's own text for a failure, as shown in a message box or on standard error.
std::string FailureText(const Failure& failure);

// Further explanation shown under the text (the first difference of a verify, else
// Why), or empty when there is none.
std::string FailureDetail(const Failure& failure);

// The text and, where there is one, ": " and the detail, as one message on standard
// error.
std::string FailureMessage(const Failure& failure);

}  // namespace ixo
