// Program files of either kind, object or assembly.

#include "cli/ProgramFile.h"

#include <cctype>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>

#include "cli/Fail.h"
#include "cli/StandardStreams.h"
#include "core/ShownText.h"
#include "isa/Assembler.h"
#include "isa/Listing.h"
#include "operations/ProgramFile.h"
#include "project/ProjectFiles.h"

namespace ixo::cli {

namespace {

// Whether an object file that failed on its first line is most likely an assembly
// file: one named as other assemblers name their sources, or one that starts as a
// listing does.
bool LooksLikeAssembly(const std::string& path, const Failure& failure, const ProgramImage& image) {
    if (failure.Kind != FailureKind::BadObjectLine || failure.Line != 1) return false;
    const std::string_view name = path;
    const bool sourceName = name.size() > 2 && name[name.size() - 2] == '.' &&
                            (name.back() == 's' || name.back() == 'S');
    std::string start(image.ObjText.begin(), image.ObjText.begin() + 3);
    for (char& c : start) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return sourceName || start == "LFO";
}

// Opens the program file path of kind into image, noted as read first.
OpenedProgram Open(const std::string& path, ProgramKind kind, ProgramImage& image) {
    NoteRead(path);
    return OpenProgramFile(path, kind, image);
}

}  // namespace

int AssembleFile(const std::string& path, ProgramImage& image) {
    const OpenedProgram opened = Open(path, ProgramKind::Assembly, image);
    if (opened.Fault) return Fail(*opened.Fault);
    if (opened.Errors.empty()) return ExitOk;
    FlushStandardOutput();
    const std::string name = EscapeControls(ShownName(path));
    std::fputs(FormatAsmErrors(name, opened.Source, opened.Errors).c_str(), stderr);
    return ExitFailure;
}

bool IsAssemblyFile(const std::string& path, const std::string& format) {
    return format.empty() ? IsAssemblyFileName(path) : format == AssemblyFormat;
}

int ReadProgramFile(const CommandLine& line, ProgramImage& image, MaybeFailure* malformed) {
    if (IsAssemblyFile(line.Argument, line.Format)) {
        return AssembleFile(line.Argument, image);
    }
    MaybeFailure failure = Open(line.Argument, ProgramKind::Object, image).Fault;
    if (failure && LooksLikeAssembly(line.Argument, *failure, image)) {
        failure->Why += "; for an assembly file, use --format asm";
    }
    if (failure && malformed != nullptr && LoadedInPart(*failure)) {
        *malformed = std::move(failure);
        return ExitOk;
    }
    return failure ? Fail(*failure) : ExitOk;
}

MaybeFailure SaveProgram(const std::string& path, const std::string& format,
                         const ProgramImage& image) {
    if (!IsAssemblyFile(path, format)) return SaveObject(path, image);
    if (MaybeFailure clash = CheckNotRead(path)) return clash;
    const std::vector<std::string> lines =
        ListingLines(ProgramWords(image), LocaleDecimalSeparator());
    if (path != StandardName) return SaveProgramFile(path, lines);
    for (const std::string& text : lines) WriteStandardOutput(text + "\r\n");
    return std::nullopt;
}

std::string_view LocaleDecimalSeparator() {
    const std::lconv* conventions = std::localeconv();
    if (conventions == nullptr || conventions->decimal_point == nullptr ||
        *conventions->decimal_point == '\0') {
        return ".";
    }
    return conventions->decimal_point;
}

}  // namespace ixo::cli
