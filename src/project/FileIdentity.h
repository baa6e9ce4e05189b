#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace ixo {

// Which regular file a name or an open stream leads to, so that one file under two
// names (another spelling, a symbolic or a hard link) is known as one: the device
// and inode where there are such, the volume and file index on Windows.
struct FileIdentity {
    std::uint64_t Volume = 0;
    std::uint64_t Index = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The identity of the regular file at path, links followed; nothing when path names
// no regular file (none at all, a folder, a device, a pipe).
std::optional<FileIdentity> IdentifyFile(const std::string& path);

// The same for the file an open stream reads or writes (standard input redirected
// from a file, say); nothing for a terminal, a pipe or a device.
std::optional<FileIdentity> IdentifyStream(std::FILE* stream);

}  // namespace ixo
