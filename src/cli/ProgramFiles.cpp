// Program files of either kind, object or assembly, and ixo asm FILE, which turns
// the one into the other.

#include <CLI/CLI.hpp>

#include <cctype>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>

#include "cli/Commands.h"
#include "core/ShownText.h"
#include "isa/Assembler.h"
#include "isa/Listing.h"
#include "project/ProjectFiles.h"

namespace ixo::cli {

namespace {

constexpr const char* StandardName = "-";

// Assembles the assembly file path into image, or prints its errors.
int ReadAssemblyProgram(const std::string& path, ProgramImage& image) {
    std::string source;
    if (const MaybeFailure failure = ReadAssembly(path, source)) return Fail(*failure);
    const Assembly assembly = AssembleListing(source);
    if (!assembly.Ok()) {
        FlushStandardOutput();
        const std::string name = EscapeControls(ShownName(path));
        std::fputs(FormatAsmErrors(name, source, assembly.Errors).c_str(), stderr);
        return ExitFailure;
    }
    TakeWords(image, assembly.Words);
    return ExitOk;
}

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

}  // namespace

void AddFormatOption(CLI::App& command, CommandLine& line, const std::string& file) {
    command
        .add_option("--format", line.Format,
                    file +
                        " is an assembly file (asm) or an object file (obj); without it, a name "
                        "ending in .asm (any case) is assembly and any other an object file")
        ->type_name("asm|obj")
        ->check([](const std::string& text) {
            return text == AssemblyFormat || text == ObjectFormat
                       ? std::string()
                       : "not a format: '" + text + "' (asm or obj)";
        });
}

bool IsAssemblyFile(const std::string& path, const std::string& format) {
    return format.empty() ? IsAssemblyFileName(path) : format == AssemblyFormat;
}

int ReadProgram(const CommandLine& line, ProgramImage& image, MaybeFailure* malformed) {
    if (IsAssemblyFile(line.Argument, line.Format)) {
        return ReadAssemblyProgram(line.Argument, image);
    }
    MaybeFailure failure = ReadObject(line.Argument, image);
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
    if (path != StandardName) return SaveListingFile(path, lines);
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

void DefineAsm(CLI::App& command, CommandLine& line) {
    command.add_option("FILE", line.Argument, "the assembly file, - for standard input")
        ->required();
    command
        .add_option("-o,--output", line.Output,
                    "save the object file as OUT (- for standard output); the default is FILE "
                    "with the extension .obj, or standard output for standard input")
        ->type_name("OUT");
}

int RunAsm(const CommandLine& line) {
    std::string output = line.Output;
    if (output.empty() && line.Argument == StandardName) output = StandardName;
    if (output.empty()) {
        output = ReplaceFileExt(line.Argument, ".obj");
        // A source that is itself named .obj is not replaced by its own object text.
        if (output == line.Argument) {
            return Fail(line.Argument + ": the object file would replace it; name one with -o");
        }
    }
    ProgramImage image;
    if (const int status = ReadAssemblyProgram(line.Argument, image); status != ExitOk) {
        return status;
    }
    const MaybeFailure failure = SaveObject(output, image);
    return failure ? Fail(*failure) : ExitOk;
}

}  // namespace ixo::cli
