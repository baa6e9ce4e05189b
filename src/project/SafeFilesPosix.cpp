#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

#include "core/StopSignals.h"
#include "project/SafeFiles.h"

namespace ixo {

namespace fs = std::filesystem;

namespace {

// ---- Reading

// Why a file that is not one (a FIFO, a device) is refused.
constexpr const char* NotRegular = "not a regular file";

constexpr std::size_t ReadPieceBytes = 4096;

bool IsRegular(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

bool ReadRegularFile(const std::string& path,
                     const std::function<bool(std::span<const std::uint8_t>)>& take,
                     std::string* why) {
    const auto fail = [why](const std::string& reason) {
        if (why != nullptr) *why = reason;
        return false;
    };
    // Look before opening, so that a device is never opened (opening a serial port
    // can change its lines); open without waiting, in case the name has meanwhile
    // become a FIFO, and look again at what was opened.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return fail(std::strerror(errno));
    if (S_ISDIR(info.st_mode)) return fail(std::strerror(EISDIR));
    if (!S_ISREG(info.st_mode)) return fail(NotRegular);
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return fail(std::strerror(errno));
    bool read = true;
    if (!IsRegular(fd)) {
        read = fail(NotRegular);
    } else if (::fcntl(fd, F_SETFL, 0) != 0) {
        read = fail(std::strerror(errno));
    }
    std::array<std::uint8_t, ReadPieceBytes> piece;
    while (read) {
        const ssize_t n = ::read(fd, piece.data(), piece.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) read = fail(std::strerror(errno));
        if (n <= 0 || !take(std::span(piece).first(static_cast<std::size_t>(n)))) break;
    }
    ::close(fd);
    return read;
}

bool ReadOpenStream(std::FILE* file, const std::function<bool(std::span<const std::uint8_t>)>& take,
                    std::string* why) {
    const auto fail = [why](int error) {
        if (why != nullptr) *why = std::strerror(error);
        return false;
    };
    const int fd = ::fileno(file);
    if (fd < 0) return fail(errno);
    std::array<std::uint8_t, ReadPieceBytes> piece;
    for (;;) {
        // Wait for input or a stop signal, whichever comes first: a read alone would
        // be restarted after the signal's handler and wait on.
        std::array<pollfd, 2> waits{{{fd, POLLIN, 0}, {StopSignalFd(), POLLIN, 0}}};
        if (::poll(waits.data(), waits.size(), -1) < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        if (waits[1].revents != 0) return fail(EINTR);
        if (waits[0].revents == 0) continue;
        const ssize_t n = ::read(fd, piece.data(), piece.size());
        // A descriptor shared with a program that made it non-blocking.
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        if (n < 0) return fail(errno);
        if (n == 0 || !take(std::span(piece).first(static_cast<std::size_t>(n)))) return true;
    }
}

namespace {

// ---- Links

// As many links in a row as the system follows before it calls the chain a loop.
constexpr int MaxLinkHops = 40;

// Whether the file or link at path, which owner owns, is another user's in a shared
// folder: a sticky one that everybody may write to (as /tmp), the owner being
// neither the folder's owner nor this user. The system follows no such link
// (fs.protected_symlinks) and opens no such file to write it (fs.protected_regular),
// so that nothing another user planted there turns a save against the saver: a link
// to a file of ours, or a file whose planter would own what we saved in it.
bool PlantedByAnother(const fs::path& path, uid_t owner) {
    struct stat folder {};
    const fs::path parent = path.has_parent_path() ? path.parent_path() : fs::path(".");
    if (::stat(parent.c_str(), &folder) != 0) return true;
    const bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
    return shared && owner != folder.st_uid && owner != ::geteuid();
}

// The file that path finally names through its symbolic links (it need not exist
// yet). Nothing when a link may not be followed or the chain does not end, with
// errno saying which.
std::optional<fs::path> FinalTarget(const fs::path& path) {
    fs::path current = path;
    for (int hops = 0;; ++hops) {
        struct stat info {};
        if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
        if (hops == MaxLinkHops) {
            errno = ELOOP;
            return std::nullopt;
        }
        if (PlantedByAnother(current, info.st_uid)) {
            errno = EACCES;  // as the system answers for such a link
            return std::nullopt;
        }
        std::error_code error;
        const fs::path link = fs::read_symlink(current, error);
        if (error) {
            errno = error.value();
            return std::nullopt;
        }
        current = link.is_absolute() ? link : current.parent_path() / link;
    }
}

// ---- The moment before the replace, for tests

void (*ReplaceHold)(const char*) = nullptr;

// ---- Temporary files beside the target

constexpr std::string_view TempSuffix = ".tmp";
constexpr std::size_t TempTagDigits = 8;

std::string TempPrefix(const fs::path& target) {
    return "." + target.filename().string() + ".";
}

fs::path FolderOf(const fs::path& target) {
    return target.has_parent_path() ? target.parent_path() : fs::path(".");
}

// Creates a new, empty file beside target with a name no other file has, and holds
// a lock on it for as long as it is open, so that another save's clean-up sees that
// it is in use. On failure gives the system's error number in error.
int CreateTemporaryBeside(const fs::path& target, std::string& tempPath, int& error) {
    std::random_device entropy;
    std::mt19937 random(entropy());
    for (int attempt = 0; attempt < 100; ++attempt) {
        char tag[TempTagDigits + 1];
        std::snprintf(tag, sizeof tag, "%08x", static_cast<unsigned>(random()));
        tempPath =
            (FolderOf(target) / (TempPrefix(target) + tag + std::string(TempSuffix))).string();
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            (void)::flock(fd, LOCK_EX | LOCK_NB);
            return fd;
        }
        error = errno;
        if (error != EEXIST) return -1;
    }
    return -1;
}

bool IsTempNameOf(const fs::path& target, std::string_view name) {
    const std::string prefix = TempPrefix(target);
    if (name.size() != prefix.size() + TempTagDigits + TempSuffix.size()) return false;
    if (!name.starts_with(prefix) || !name.ends_with(TempSuffix)) return false;
    const std::string_view tag = name.substr(prefix.size(), TempTagDigits);
    return tag.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

// Removes temporary files of target's naming that an interrupted save left: ours,
// regular, and not locked by a save still running.
void RemoveStaleTemporaries(const fs::path& target) {
    DIR* folder = ::opendir(FolderOf(target).c_str());
    if (folder == nullptr) return;
    while (const dirent* entry = ::readdir(folder)) {
        if (!IsTempNameOf(target, entry->d_name)) continue;
        // Look before opening, so that nothing but a file of ours is ever opened.
        struct stat info {};
        if (::fstatat(::dirfd(folder), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
            continue;
        }
        const int fd = ::openat(::dirfd(folder), entry->d_name,
                                O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        if (IsRegular(fd) && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            ::unlinkat(::dirfd(folder), entry->d_name, 0);
        }
        ::close(fd);
    }
    ::closedir(folder);
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

// Writes bytes over the file itself, for a folder that takes no new file. The new
// bytes go over the old ones before the file is cut to length, so that a text no
// longer than the old one needs no new space on the disk.
bool WriteInPlace(const fs::path& target, std::string_view bytes) {
    const int fd = ::open(target.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    bool written = IsRegular(fd) && WriteAll(fd, bytes) &&
                   ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 && ::fsync(fd) == 0;
    written = (::close(fd) == 0) && written;
    return written;
}

}  // namespace

void SetReplaceHoldForTests(void (*hold)(const char* tempPath)) {
    ReplaceHold = hold;
}

namespace {

// The failure with the system's reason for it.
Failure Because(Failure failure, const std::string& reason) {
    failure.Why = reason;
    return failure;
}

// The file a save to path replaces, as far as it can be known before writing.
struct SaveTarget {
    fs::path Path;
    bool Exists = false;
    struct stat Existing {};
};

// Finds the file a save to path would replace, refusing what it may not: a link
// that may not be followed, a folder, anything but a regular file, a file that may
// not be written.
MaybeFailure FindSaveTarget(const std::string& path, const Failure& cannotCreate,
                            SaveTarget& target) {
    const std::optional<fs::path> final = FinalTarget(path);
    if (!final) return Because(cannotCreate, std::strerror(errno));
    target.Path = *final;
    target.Exists = ::stat(target.Path.c_str(), &target.Existing) == 0;
    if (!target.Exists) return std::nullopt;
    if (S_ISDIR(target.Existing.st_mode)) return Because(cannotCreate, std::strerror(EISDIR));
    if (!S_ISREG(target.Existing.st_mode)) return Because(cannotCreate, NotRegular);
    if (PlantedByAnother(target.Path, target.Existing.st_uid)) {
        return Because(cannotCreate, std::strerror(EACCES));  // as the system answers
    }
    if (::access(target.Path.c_str(), W_OK) != 0) {
        return Because(cannotCreate, std::strerror(errno));
    }
    return std::nullopt;
}

}  // namespace

MaybeFailure CheckReplaceable(const std::string& path, const Failure& cannotCreate) {
    SaveTarget target;
    if (MaybeFailure refused = FindSaveTarget(path, cannotCreate, target)) return refused;
    if (target.Exists) return std::nullopt;
    // A new file needs a folder that exists and may be written.
    const fs::path folder = target.Path.has_parent_path() ? target.Path.parent_path() : ".";
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) return Because(cannotCreate, std::strerror(errno));
    if (!S_ISDIR(info.st_mode)) return Because(cannotCreate, std::strerror(ENOTDIR));
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        return Because(cannotCreate, std::strerror(errno));
    }
    return std::nullopt;
}

MaybeFailure ReplaceFileContents(const std::string& path, std::string_view bytes,
                                 const Failure& cannotCreate) {
    const auto cannotWrite = [&](int error) {
        return Because(CantWriteFile(path), std::strerror(error));
    };
    SaveTarget target;
    if (MaybeFailure refused = FindSaveTarget(path, cannotCreate, target)) return refused;
    const bool exists = target.Exists;
    const struct stat& existing = target.Existing;

    RemoveOnStop guard;
    std::string tempPath;
    int error = 0;
    const int fd = CreateTemporaryBeside(target.Path, tempPath, error);
    if (fd < 0) {
        const bool folderRefuses = error == EACCES || error == EPERM;
        if (!exists || !folderRefuses) return Because(cannotCreate, std::strerror(error));
        if (!WriteInPlace(target.Path, bytes)) return cannotWrite(errno);
        return std::nullopt;
    }
    guard.Remove(tempPath);
    if (exists) {
        // Keep the replaced file's permissions and, where allowed, its owner; not
        // being allowed to keep the owner is no failure of the save.
        if (::fchown(fd, existing.st_uid, existing.st_gid) != 0) errno = 0;
        (void)::fchmod(fd, existing.st_mode & 07777);
    }
    // The file stays open, and so locked, until it has taken the target's place.
    const bool written = WriteAll(fd, bytes) && ::fsync(fd) == 0;
    if (written && ReplaceHold != nullptr) ReplaceHold(tempPath.c_str());
    const bool replaced = written && ::rename(tempPath.c_str(), target.Path.c_str()) == 0;
    error = errno;
    if (!replaced) ::unlink(tempPath.c_str());
    guard.Forget();
    ::close(fd);
    if (!replaced) return cannotWrite(error);
    RemoveStaleTemporaries(target.Path);
    return std::nullopt;
}

}  // namespace ixo
