#pragma once

#include <string>
#include <vector>

namespace ixo {

// Where programs in the manner of minicom leave their lock files.
std::vector<std::string> LockFileFolders();

// The process that holds device through a lock file "LCK..<name>" in one of folders
// (name: the device's file name, or that of the device a link leads to); 0 when there
// is none or its process no longer lives (a stale lock holds nothing).
long LockFileHolder(const std::string& device,
                    const std::vector<std::string>& folders = LockFileFolders());

// For a device that this user may not open: what would let them, for example
// "join the group 'dialout' that owns /dev/ttyUSB0 (sudo usermod -aG dialout $USER),
// then log in again". Empty when the user may open it.
std::string PermissionHint(const std::string& device);

}  // namespace ixo
