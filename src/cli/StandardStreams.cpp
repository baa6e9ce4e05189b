// "-" as a file name: standard input for a program file read, standard output for
// one written.

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/Commands.h"
#include "project/ProjectFiles.h"
#include "project/SafeFiles.h"

namespace ixo::cli {

namespace {

constexpr const char* StandardName = "-";

}  // namespace

std::string ShownName(const std::string& path) {
    return path == StandardName ? "<stdin>" : path;
}

MaybeFailure ReadObject(const std::string& path, ProgramImage& image) {
    if (path != StandardName) return LoadObjectFile(path, image);
    return ReadObjectText(stdin, ShownName(path), image);
}

MaybeFailure ReadAssembly(const std::string& path, std::string& text) {
    if (path != StandardName) return LoadAssemblyFile(path, text);
    return ReadAssemblyText(stdin, ShownName(path), text);
}

MaybeFailure CheckSaveObject(const std::string& path) {
    if (path == StandardName) return std::nullopt;
    return CheckReplaceable(path, CantWriteFile(path));
}

MaybeFailure SaveObject(const std::string& path, const ProgramImage& image) {
    if (path != StandardName) return SaveObjectFile(path, image);
    const std::size_t length = ObjectTextLength(image);
    if (std::fwrite(image.ObjText.data(), 1, length, stdout) != length ||
        std::fflush(stdout) != 0) {
        return CantWriteFile("standard output", std::strerror(errno));
    }
    return std::nullopt;
}

}  // namespace ixo::cli
