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

std::string FailureText(const Failure& failure) {
    switch (failure.Kind) {
        case FailureKind::CantOpenFile:
            return "Can't open file \"" + failure.Path + "\"";
        case FailureKind::BadObjectLine:
            return "Bad line " + std::to_string(failure.Number) + " in object file \"" +
                   failure.Path + "\"";
        case FailureKind::CantCreateFile:
            return "Cannot create file " + failure.Path;
        case FailureKind::CantWriteFile:
            return "Can't write file \"" + failure.Path + "\"";
        case FailureKind::PortNotOpened:
            return "COM port not opened";
        case FailureKind::CantWriteToPort:
            return "Can't Write to COM port";
        case FailureKind::NoResponse:
            return "No response from device at address " + std::to_string(failure.Number);
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
            return "First difference at address " + std::to_string(failure.Number) + ": program " +
                   Hex8(failure.Expected) + ", device " + Hex8(failure.Actual);
        case FailureKind::PortNotOpened:
            return failure.Detail;
        default:
            return {};
    }
}

}  // namespace ixo
