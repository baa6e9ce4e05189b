#pragma once

// The exit statuses of ixo and ixo-sim.

namespace ixo {

inline constexpr int ExitOk = 0;
inline constexpr int ExitFailure = 1;
inline constexpr int ExitUsage = 2;

}  // namespace ixo
