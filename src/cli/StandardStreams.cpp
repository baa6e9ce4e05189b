// "-" as a file name: standard input for a program file read, standard output for
// one written; and no program file written over one that was read.

#include "cli/StandardStreams.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "core/ExitStatus.h"
#include "core/Process.h"
#include "core/StopSignals.h"
#include "project/FileIdentity.h"
#include "project/SafeFiles.h"

namespace ixo::cli {

namespace {

// The file that path names, standard input or output for "-".
std::optional<FileIdentity> Identify(const std::string& path, std::FILE* standard) {
    return path == StandardName ? IdentifyStream(standard) : IdentifyFile(path);
}

std::string ShownName(const std::string& path, const char* standard) {
    return path == StandardName ? standard : path;
}

// The files this run has read programs from, and the names they were read by.
struct FileRead {
    FileIdentity Identity;
    std::string Name;
};
std::vector<FileRead> filesRead;

// The status of a program that SIGPIPE (13) ended, as a shell shows it.
constexpr int ClosedPipeStatus = 128 + 13;

// The first failure to write standard output: its reason, and whether it was that
// the reader went away. Said once, at the end, however many writes failed.
int outputError = 0;
bool outputReaderGone = false;

void NoteOutputError() {
    if (outputError != 0) return;
    outputReaderGone = ReaderGone();
    outputError = errno != 0 ? errno : EIO;
}

}  // namespace

void NoteRead(const std::string& path) {
    if (const std::optional<FileIdentity> identity = Identify(path, stdin)) {
        filesRead.push_back({*identity, ixo::ShownName(path)});
    }
}

bool WriteStandardOutput(std::string_view bytes) {
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size()) return true;
    NoteOutputError();
    return false;
}

bool FlushStandardOutput() {
    errno = 0;
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
    NoteOutputError();
    return false;
}

int FinishStandardOutput(int status) {
    const bool written = FlushStandardOutput();
    // A reader that went away wants nothing more, not even why.
    if (StoppedByClosedPipe() || (!written && outputReaderGone)) return ClosedPipeStatus;
    if (written) return status;
    std::fprintf(stderr, "ixo: can't write standard output: %s\n", std::strerror(outputError));
    return status == ExitOk ? ExitFailure : status;
}

MaybeFailure CheckNotRead(const std::string& path) {
    const std::optional<FileIdentity> identity = Identify(path, stdout);
    if (!identity) return std::nullopt;
    for (const FileRead& read : filesRead) {
        if (read.Identity == *identity) {
            return CantWriteFile(ShownName(path, "standard output"),
                                 "the same file as the input \"" + read.Name + "\"");
        }
    }
    return std::nullopt;
}

MaybeFailure CheckSaveObject(const std::string& path) {
    if (MaybeFailure clash = CheckNotRead(path)) return clash;
    if (path == StandardName) return std::nullopt;
    return CheckReplaceable(path, CantWriteFile(path));
}

MaybeFailure SaveObject(const std::string& path, const ProgramImage& image) {
    if (MaybeFailure clash = CheckNotRead(path)) return clash;
    if (path != StandardName) return SaveProgramFile(path, image);
    WriteStandardOutput(std::string_view(reinterpret_cast<const char*>(image.ObjText.data()),
                                         ObjectTextLength(image)));
    return std::nullopt;
}

}  // namespace ixo::cli
