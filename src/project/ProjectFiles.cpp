#include "project/ProjectFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>

namespace ixo {

namespace fs = std::filesystem;

namespace {

// Replaces the file at path with bytes, so that a failure never damages what was
// there: the bytes go to a temporary file in the same folder, which is flushed and
// renamed over the target only when all of it is written. A replaced file keeps its
// permissions; a symbolic link is written through to its target. A target that
// exists but may not be written, or is not a regular file, is refused.
// cannotCreate is the failure reported when the file cannot be created.
MaybeFailure ReplaceFileContents(const std::string& path, std::string_view bytes,
                                 const Failure& cannotCreate);

}  // namespace

std::string ReplaceFileExt(std::string_view path, std::string_view ext) {
    std::size_t start = 0;
    if (path.size() >= 2 && path[1] == ':' &&
        ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
        start = 2;
    }
    const std::size_t slash = path.find_last_of("/\\");
    const std::size_t nameStart =
        (slash == std::string_view::npos || slash < start) ? start : slash + 1;
    const std::string_view name = path.substr(nameStart);
    std::size_t nameEnd = path.size();
    if (name != "." && name != "..") {
        const std::size_t dot = name.find_last_of('.');
        if (dot != std::string_view::npos) nameEnd = nameStart + dot;
    }
    std::string result(path.substr(0, nameEnd));
    result += ext;
    return result;
}

MaybeFailure LoadObjectFile(const std::string& path, ProgramImage& image) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return CantOpenFile(path);
    // Read into a scratch copy first, so that a read error leaves the image alone.
    decltype(image.ObjText) text{};
    const std::size_t got = std::fread(text.data(), 1, text.size(), file);
    const bool readError = got < text.size() && std::ferror(file);
    std::fclose(file);
    if (readError) return CantOpenFile(path);

    image.ObjText = text;
    if (!ParseObjectText(image)) {
        return BadObjectLine(path, image.WordCount + 1);
    }
    return std::nullopt;
}

MaybeFailure SaveObjectFile(const std::string& path, const ProgramImage& image) {
    const std::string_view text(reinterpret_cast<const char*>(image.ObjText.data()),
                                ObjectTextLength(image));
    return ReplaceFileContents(path, text, CantWriteFile(path));
}

MaybeFailure SaveListingFile(const std::string& path, const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += "\r\n";
    }
    return ReplaceFileContents(path, text, CantCreateFile(path));
}

namespace {

// Follows symbolic links from path to the file they finally name (which need not
// exist yet). Gives up after a chain that is too long, as the system does.
fs::path FinalTarget(const fs::path& path) {
    fs::path current = path;
    std::error_code error;
    for (int hops = 0; hops < 40 && fs::is_symlink(current, error); ++hops) {
        const fs::path link = fs::read_symlink(current, error);
        if (error) break;
        current = link.is_absolute() ? link : current.parent_path() / link;
    }
    return current;
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Creates a new, empty file beside target with a name no other file has.
int CreateTemporaryBeside(const fs::path& target, std::string& tempPath) {
    std::random_device entropy;
    std::mt19937 random(entropy());
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%08x.tmp", static_cast<unsigned>(random()));
        tempPath = (folder / ("." + target.filename().string() + suffix)).string();
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

MaybeFailure ReplaceFileContents(const std::string& path, std::string_view bytes,
                                 const Failure& cannotCreate) {
    const fs::path target = FinalTarget(path);

    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && (!S_ISREG(existing.st_mode) || ::access(target.c_str(), W_OK) != 0)) {
        return cannotCreate;
    }

    std::string tempPath;
    const int fd = CreateTemporaryBeside(target, tempPath);
    if (fd < 0) return cannotCreate;
    if (exists) {
        // Keep the replaced file's permissions and, where allowed, its owner.
        (void)::fchown(fd, existing.st_uid, existing.st_gid);
        (void)::fchmod(fd, existing.st_mode & 07777);
    }
    bool written = WriteAll(fd, bytes) && ::fsync(fd) == 0;
    written = (::close(fd) == 0) && written;
    if (!written || ::rename(tempPath.c_str(), target.c_str()) != 0) {
        ::unlink(tempPath.c_str());
        return CantWriteFile(path);
    }
    return std::nullopt;
}

}  // namespace

}  // namespace ixo
