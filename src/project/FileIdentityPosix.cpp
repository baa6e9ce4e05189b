#include <sys/stat.h>

#include "project/FileIdentity.h"

namespace ixo {

namespace {

std::optional<FileIdentity> RegularFile(const struct stat& info) {
    if (!S_ISREG(info.st_mode)) return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                        static_cast<std::uint64_t>(info.st_ino)};
}

}  // namespace

std::optional<FileIdentity> IdentifyFile(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return RegularFile(info);
}

std::optional<FileIdentity> IdentifyStream(std::FILE* stream) {
    struct stat info {};
    if (::fstat(::fileno(stream), &info) != 0) return std::nullopt;
    return RegularFile(info);
}

}  // namespace ixo
