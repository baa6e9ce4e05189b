#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ixo {

// What a byte trace records: bytes moved, input or output thrown away, and a wait
// that ended without its bytes.
enum class TraceEvent { Sent, Received, PurgedInput, PurgedOutput, PurgedBoth, TimedOut, Failed };

// One line of a byte trace, as "ixo --trace" and "ixo-sim --trace" both print it:
// the seconds since the trace began, the event, and the bytes in hexadecimal, for
// example "  0.012345 sent 88 00 00" or "  0.367250 timeout". No line end.
std::string TraceLine(double seconds, TraceEvent event, const std::uint8_t* bytes,
                      std::size_t count);

}  // namespace ixo
