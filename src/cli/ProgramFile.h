#pragma once

#include <string>
#include <string_view>

#include "cli/Command.h"
#include "core/Failure.h"
#include "project/ProgramImage.h"

// Program files of either kind, object or assembly, as the commands read and save
// them.

namespace ixo::cli {

// The --format values.
inline constexpr const char* AssemblyFormat = "asm";
inline constexpr const char* ObjectFormat = "obj";

// Whether the program file path is an assembly file: --format (format) when given,
// else a name ending in ".asm" in any case.
bool IsAssemblyFile(const std::string& path, const std::string& format);

// Reads the program file FILE into image (OpenProgramFile, the file noted as read for
// CheckNotRead): an object file, or an assembly file assembled. ExitOk, or ExitFailure once the
// reason is on standard error: a file that cannot be read, or the errors of an assembly file as
// FormatAsmErrors prints them, named by ShownName. A malformed object file
// leaves the words before its bad line in image; with malformed given, its failure
// is put there for the caller to report, and the result is ExitOk.
int ReadProgramFile(const CommandLine& line, ProgramImage& image,
                    MaybeFailure* malformed = nullptr);

// Assembles the assembly file path ("-" standard input) into image, as ReadProgramFile
// reads one: ExitOk, or ExitFailure once the reason or the assembly errors are on
// standard error.
int AssembleFile(const std::string& path, ProgramImage& image);

// Saves the program of image as path ("-" standard output): its listing, lines
// ended by CR LF, when IsAssemblyFile(path, format), else its object text; standard
// output as WriteStandardOutput writes it. Refused
// as CheckNotRead refuses; every program file a command writes goes through here or
// SaveObject.
MaybeFailure SaveProgram(const std::string& path, const std::string& format,
                         const ProgramImage& image);

// The decimal separator of the user's locale, which main() has set.
std::string_view LocaleDecimalSeparator();

}  // namespace ixo::cli
