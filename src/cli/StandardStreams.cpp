// "-" as a file name: standard input for a program file read, standard output for
// one written.

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/Commands.h"
#include "project/ProjectFiles.h"

namespace ixo::cli {

namespace {

constexpr const char* StandardName = "-";

}  // namespace

MaybeFailure ReadObject(const std::string& path, ProgramImage& image) {
    if (path != StandardName) return LoadObjectFile(path, image);
    return ReadObjectText(stdin, "standard input", image);
}

MaybeFailure ReadAssembly(const std::string& path, std::string& text) {
    if (path != StandardName) return LoadAssemblyFile(path, text);
    return ReadAssemblyText(stdin, "standard input", text);
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
