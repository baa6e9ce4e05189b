#include "core/Failure.h"

#include <cstdio>

namespace ixo {

namespace {

std::string Hex8(std::uint32_t word) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(word));
    return text;
}

}  // namespace

Failure CantOpenFile(const std::string& path, const std::string& why) {
    return {.Kind = FailureKind::CantOpenFile, .Path = path, .Why = why};
}

Failure BadObjectLine(const std::string& path, int line, const std::string& why) {
    return {.Kind = FailureKind::BadObjectLine, .Path = path, .Line = line, .Why = why};
}

Failure TextLeftOut(const std::string& path, int line, const std::string& why) {
    return {.Kind = FailureKind::TextLeftOut, .Path = path, .Line = line, .Why = why};
}

Failure CantCreateFile(const std::string& path, const std::string& why) {
    return {.Kind = FailureKind::CantCreateFile, .Path = path, .Why = why};
}

Failure CantWriteFile(const std::string& path, const std::string& why) {
    return {.Kind = FailureKind::CantWriteFile, .Path = path, .Why = why};
}

Failure PortNotOpened(const std::string& why) {
    return {.Kind = FailureKind::PortNotOpened, .Why = why};
}

Failure CantWriteToPort(const std::string& why) {
    return {.Kind = FailureKind::CantWriteToPort, .Why = why};
}

Failure NoResponseAt(int address) {
    return {.Kind = FailureKind::NoResponse, .Address = address};
}

Failure SentMoreThanAskedAfter(int address) {
    return {.Kind = FailureKind::SentMoreThanAsked, .Address = address};
}

Failure OutOfStepAfter(int address) {
    return {.Kind = FailureKind::OutOfStep, .Address = address};
}

Failure EmptyProject() {
    return {.Kind = FailureKind::EmptyProject};
}

Failure VerifyFailAt(int address, std::uint32_t programWord, std::uint32_t deviceWord) {
    return {.Kind = FailureKind::VerifyFail,
            .Address = address,
            .ProgramWord = programWord,
            .DeviceWord = deviceWord};
}

std::string FailureText(const Failure& failure) {
    switch (failure.Kind) {
        case FailureKind::CantOpenFile:
            return "Can't open file \"" + failure.Path + "\"";
        case FailureKind::BadObjectLine:
            return "Bad line " + std::to_string(failure.Line) + " in object file \"" +
                   failure.Path + "\"";
        case FailureKind::TextLeftOut:
            return "Line " + std::to_string(failure.Line) +
                   " and after left out of object file \"" + failure.Path + "\"";
        case FailureKind::CantCreateFile:
            return "Cannot create file " + failure.Path;
        case FailureKind::CantWriteFile:
            return "Can't write file \"" + failure.Path + "\"";
        case FailureKind::PortNotOpened:
            return "COM port not opened";
        case FailureKind::CantWriteToPort:
            return "Can't Write to COM port";
        case FailureKind::NoResponse:
            return "No response from device at address " + std::to_string(failure.Address);
        case FailureKind::SentMoreThanAsked:
            return "Device sent more than was asked, after address " +
                   std::to_string(failure.Address);
        case FailureKind::OutOfStep:
            return "Device answers out of step with the requests, after address " +
                   std::to_string(failure.Address);
        case FailureKind::EmptyProject:
            return "Empty Project";
        case FailureKind::VerifyFail:
            return "Verify fail";
    }
    return "Unknown failure";
}

std::string FailureDetail(const Failure& failure) {
    switch (failure.Kind) {
        case FailureKind::VerifyFail:
            return "First difference at address " + std::to_string(failure.Address) + ": program " +
                   Hex8(failure.ProgramWord) + ", device " + Hex8(failure.DeviceWord);
        default:
            return failure.Why;
    }
}

std::string FailureMessage(const Failure& failure) {
    const std::string detail = FailureDetail(failure);
    return detail.empty() ? FailureText(failure) : FailureText(failure) + ": " + detail;
}

}  // namespace ixo
