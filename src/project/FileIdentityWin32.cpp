#include <windows.h>
// After windows.h.
#include <io.h>

#include "core/Win32Text.h"
#include "project/FileIdentity.h"

namespace ixo {

namespace {

// A file on a disk, not a folder: its volume's serial number and its index there.
std::optional<FileIdentity> DiskFile(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return std::nullopt;
    }
    return FileIdentity{
        info.dwVolumeSerialNumber,
        (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

}  // namespace

std::optional<FileIdentity> IdentifyFile(const std::string& path) {
    // No access asked for, so that a file open elsewhere, even for writing, is
    // looked at all the same.
    const HANDLE handle = CreateFileW(WideFromUtf8(path).c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    const std::optional<FileIdentity> identity = DiskFile(handle);
    CloseHandle(handle);
    return identity;
}

std::optional<FileIdentity> IdentifyStream(std::FILE* stream) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    return DiskFile(handle);
}

}  // namespace ixo
