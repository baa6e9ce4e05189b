// Program files opened and saved for the window and ixo alike.

#include "operations/ProgramFile.h"

#include <cstdio>

#include "project/ProjectFiles.h"

namespace ixo {

namespace {

// The text of the assembly file path, or of standard input for StandardName.
MaybeFailure ReadSource(const std::string& path, std::string& text) {
    if (path != StandardName) return LoadAssemblyFile(path, text);
    return ReadAssemblyText(stdin, ShownName(path), text);
}

}  // namespace

std::string ShownName(const std::string& path) {
    return path == StandardName ? "<stdin>" : path;
}

OpenedProgram OpenProgramFile(const std::string& path, ProgramKind kind, ProgramImage& image) {
    OpenedProgram opened;
    if (kind == ProgramKind::Object) {
        opened.Fault = path == StandardName ? ReadObjectText(stdin, ShownName(path), image)
                                            : LoadObjectFile(path, image);
        return opened;
    }
    if ((opened.Fault = ReadSource(path, opened.Source))) return opened;
    Assembly assembly = AssembleListing(opened.Source);
    if (!assembly.Ok()) {
        opened.Errors = std::move(assembly.Errors);
        return opened;
    }
    TakeWords(image, assembly.Words);
    opened.Lines = std::move(assembly.Lines);
    return opened;
}

MaybeFailure SaveProgramFile(const std::string& path, const ProgramText& text) {
    if (const auto* image = std::get_if<std::reference_wrapper<const ProgramImage>>(&text)) {
        return SaveObjectFile(path, *image);
    }
    return SaveListingFile(path, std::get<std::vector<std::string>>(text));
}

MaybeFailure SaveProgramAs(std::string& fileName, const std::string& path,
                           const ProgramText& text) {
    MaybeFailure failure = SaveProgramFile(path, text);
    if (!failure) fileName = path;
    return failure;
}

}  // namespace ixo
