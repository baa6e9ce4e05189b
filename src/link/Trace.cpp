#include "link/Trace.h"

#include <cstdio>

namespace ixo {

namespace {

const char* EventName(TraceEvent event) {
    switch (event) {
        case TraceEvent::Sent:
            return "sent";
        case TraceEvent::Received:
            return "recv";
        case TraceEvent::PurgedInput:
            return "purge input";
        case TraceEvent::PurgedOutput:
            return "purge output";
        case TraceEvent::PurgedBoth:
            return "purge both";
        case TraceEvent::TimedOut:
            return "timeout";
        case TraceEvent::Failed:
            return "failed";
    }
    return "?";
}

}  // namespace

std::string TraceLine(double seconds, TraceEvent event, const std::uint8_t* bytes,
                      std::size_t count) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%10.6f ", seconds);
    std::string line = stamp;
    line += EventName(event);
    for (std::size_t i = 0; i < count; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02X", bytes[i]);
        line += hex;
    }
    return line;
}

}  // namespace ixo
