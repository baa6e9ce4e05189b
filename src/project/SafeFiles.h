#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/Failure.h"

// Reading and replacing the user's files so that neither can be turned against the
// user: no wait on something that is not a file, no save through a link that another
// user planted, and no half-written file or stray temporary file left behind.

namespace ixo {

// Reads the regular file at path (a symbolic link to one is followed) from its
// start, handing the bytes to take piece by piece, in order, until the file ends or
// take returns false; so that a file of any size is read in constant memory. False
// when path names no regular file or cannot be read, with the reason in why when
// given; a FIFO, device or folder is refused without waiting for it.
bool ReadRegularFile(const std::string& path,
                     const std::function<bool(std::span<const std::uint8_t>)>& take,
                     std::string* why = nullptr);

// Reads a stream already open (standard input, say) as ReadRegularFile reads a file:
// piece by piece until it ends or take returns false. A wait for more input ends at
// once when a stop signal comes (core/StopSignals.h), as a failure with the reason
// in why, so that Ctrl+C or kill ends a program waiting on a terminal or a pipe. The
// stream's own buffer is not used: read nothing from it before or after.
bool ReadOpenStream(std::FILE* file, const std::function<bool(std::span<const std::uint8_t>)>& take,
                    std::string* why = nullptr);

// Replaces the file at path with bytes, so that a failure never damages what was
// there: the bytes go to a temporary file ".NAME.xxxxxxxx.tmp" in the same folder,
// which is flushed and renamed over the target only when all of it is written. Stale
// temporary files of that naming left by an earlier, interrupted save are removed
// once the save succeeds, and SIGINT, SIGTERM or SIGHUP during the save removes the
// temporary file before the process ends as it would have (a process that handles
// those signals itself sees the save complete).
//
// A replaced file keeps its permissions. A symbolic link is written through to its
// target, and a file is replaced, only where the system itself would follow or open
// it: not a link or file in a sticky, world-writable folder (as /tmp) that is owned
// neither by the folder's owner nor by this user, even for root; such a link or
// file, a loop of links, and an existing target that may not be written or is not
// a regular file are refused. Where the folder allows no new file
// but the target itself may be written, the bytes are written over it in place.
//
// Windows has neither these signals nor sticky folders: there the temporary file is
// flushed and moved over the target in one step (MoveFileExW), and a read-only target
// is refused.
//
// cannotCreate is the failure reported when the file cannot be created; a file
// that could not be written in full is CantWriteFile. Either carries the system's
// reason in Why.
MaybeFailure ReplaceFileContents(const std::string& path, std::string_view bytes,
                                 const Failure& cannotCreate);

// Whether ReplaceFileContents would be let save at path, looked at without writing
// anything, so that a save that cannot succeed is known before the work whose
// result it saves: cannotCreate, with the system's reason in Why, for a folder,
// something else than a regular file, a file that may not be written, and a new
// file in a folder that does not exist or may not be written.
MaybeFailure CheckReplaceable(const std::string& path, const Failure& cannotCreate);

// For tests only: when set, called with the temporary file's path once it holds all
// the bytes, just before it takes the target's place, so that a test can act at that
// moment (send a signal, say). Null turns it off.
void SetReplaceHoldForTests(void (*hold)(const char* tempPath));

}  // namespace ixo
