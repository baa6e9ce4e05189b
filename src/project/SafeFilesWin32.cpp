// Reading and replacing files on Windows: UTF-8 paths become UTF-16 for the system,
// and bytes go to and from the file exactly as given (no line-end translation).

#include <windows.h>
// After windows.h.
#include <io.h>

#include <algorithm>
#include <array>
#include <random>

#include "core/Win32Text.h"
#include "project/SafeFiles.h"

namespace ixo {

namespace {

// Closes a file handle when it goes out of scope.
class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    HANDLE Get() const { return handle_; }
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    bool Close() {
        if (!Valid()) return true;
        const bool closed = CloseHandle(handle_) != FALSE;
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }

private:
    HANDLE handle_;
};

bool WriteAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
        bytes.remove_prefix(written);
    }
    return true;
}

// The folder part of a path, with its last separator; empty for a bare name.
std::wstring FolderOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    if (slash != std::wstring::npos) return path.substr(0, slash + 1);
    // "C:name" lies in drive C's current folder.
    if (path.size() >= 2 && path[1] == L':') return path.substr(0, 2);
    return {};
}

// Creates a new, empty file beside target with a name no other file has.
HANDLE CreateTemporaryBeside(const std::wstring& target, std::wstring& tempPath) {
    std::random_device entropy;
    std::mt19937 random(entropy());
    const std::wstring folder = FolderOf(target);
    const std::wstring name = target.substr(folder.size());
    for (int attempt = 0; attempt < 100; ++attempt) {
        wchar_t suffix[16];
        swprintf(suffix, 16, L".%08x.tmp", static_cast<unsigned>(random()));
        tempPath = folder + L"." + name + suffix;
        const HANDLE file = CreateFileW(tempPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
    }
    return INVALID_HANDLE_VALUE;
}

// Removes temporary files that an earlier, interrupted save of target left beside
// it: ".NAME.xxxxxxxx.tmp", eight hex digits.
void RemoveStaleTemporaries(const std::wstring& target) {
    const std::wstring folder = FolderOf(target);
    const std::wstring prefix = L"." + target.substr(folder.size()) + L".";
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + prefix + L"*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = found.cFileName;
        const std::wstring middle = name.substr(std::min(name.size(), prefix.size()));
        const bool ours = name.size() == prefix.size() + 12 && middle.ends_with(L".tmp") &&
                          middle.find_first_not_of(L"0123456789abcdef") == 8;
        if (ours) DeleteFileW((folder + name).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

void (*replaceHold)(const char* tempPath) = nullptr;

}  // namespace

void SetReplaceHoldForTests(void (*hold)(const char* tempPath)) {
    replaceHold = hold;
}

bool ReadRegularFile(const std::string& path,
                     const std::function<bool(std::span<const std::uint8_t>)>& take,
                     std::string* why) {
    const auto fail = [why](const std::string& reason) {
        if (why != nullptr) *why = reason;
        return false;
    };
    FileHandle file(CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return fail(SystemErrorText(GetLastError()));
    if (GetFileType(file.Get()) != FILE_TYPE_DISK) return fail("not a regular file");
    std::array<std::uint8_t, 4096> piece;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.Get(), piece.data(), static_cast<DWORD>(piece.size()), &read, nullptr)) {
            return fail(SystemErrorText(GetLastError()));
        }
        if (read == 0 || !take(std::span(piece).first(read))) return true;
    }
}

bool ReadOpenStream(std::FILE* stream,
                    const std::function<bool(std::span<const std::uint8_t>)>& take,
                    std::string* why) {
    // Ctrl+C ends the program here, read or not: there is no signal to wait for. The
    // bytes come as they are, CR LF included, whatever mode the C library gave the
    // stream.
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    std::array<std::uint8_t, 4096> piece;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(handle, piece.data(), static_cast<DWORD>(piece.size()), &read, nullptr)) {
            // A pipe whose writer is done ends so.
            if (GetLastError() == ERROR_BROKEN_PIPE) return true;
            if (why != nullptr) *why = SystemErrorText(GetLastError());
            return false;
        }
        if (read == 0 || !take(std::span(piece).first(read))) return true;
    }
}

namespace {

// The failure with the system's words for why.
Failure Because(Failure failure, DWORD error) {
    failure.Why = SystemErrorText(error);
    return failure;
}

// A folder or a read-only file is never replaced.
MaybeFailure RefuseTarget(const std::wstring& target, const Failure& cannotCreate) {
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
        return Because(cannotCreate, ERROR_ACCESS_DENIED);
    }
    return std::nullopt;
}

}  // namespace

MaybeFailure CheckReplaceable(const std::string& path, const Failure& cannotCreate) {
    const std::wstring target = WideFromUtf8(path);
    if (MaybeFailure refused = RefuseTarget(target, cannotCreate)) return refused;
    // A new file needs a folder that exists.
    const std::size_t slash = target.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return std::nullopt;
    const std::wstring folder = target.substr(0, slash + 1);
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return Because(cannotCreate, GetLastError());
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return Because(cannotCreate, ERROR_PATH_NOT_FOUND);
    }
    return std::nullopt;
}

MaybeFailure ReplaceFileContents(const std::string& path, std::string_view bytes,
                                 const Failure& cannotCreate) {
    const std::wstring target = WideFromUtf8(path);
    if (MaybeFailure refused = RefuseTarget(target, cannotCreate)) return refused;

    std::wstring tempPath;
    FileHandle temp(CreateTemporaryBeside(target, tempPath));
    if (!temp.Valid()) return Because(cannotCreate, GetLastError());
    bool written = WriteAll(temp.Get(), bytes) && FlushFileBuffers(temp.Get());
    written = temp.Close() && written;
    if (written && replaceHold != nullptr) replaceHold(Utf8FromWide(tempPath).c_str());
    // Replaces an existing file in one step, and returns only once the move is on disk.
    if (!written || !MoveFileExW(tempPath.c_str(), target.c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        DeleteFileW(tempPath.c_str());
        return Because(CantWriteFile(path), error);
    }
    RemoveStaleTemporaries(target);
    return std::nullopt;
}

}  // namespace ixo
