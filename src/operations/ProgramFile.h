#pragma once

#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "core/Failure.h"
#include "isa/Assembler.h"
#include "project/ProgramImage.h"

// Program files as both front ends open and save them. The window opens a file named
// at start, dropped or chosen in its Open dialog, and saves the program and the
// listing from its Save buttons; ixo reads the FILE of list, asm, write and verify
// and saves what asm, list -o and read -o make. Each asks here and then shows or
// prints what came back: the image filled, an assembly file's own text, and what was
// wrong, as values that the caller words.

namespace ixo {

// The file name that stands for standard input when a program is read, and for
// standard output when one is saved.
inline constexpr const char* StandardName = "-";

// A program file's name in messages: path, or "<stdin>" for StandardName, as
// compilers name standard input.
std::string ShownName(const std::string& path);

// The two kinds of program file: object text, or an assembly listing to assemble.
enum class ProgramKind { Object, Assembly };

// What opening a program file gave.
struct OpenedProgram {
    // An assembly file's own text, as read: for showing, and for pointing at errors.
    // Empty for an object file.
    std::string Source;
    // Why the file could not be read (the image is unchanged), or what is wrong in a
    // malformed object file read in part, which LoadedInPart tells apart (the words
    // before its bad line are the program).
    MaybeFailure Fault;
    // The errors of an assembly file that does not assemble, as the assembler gives
    // them (FormatAsmErrors words them); the image is unchanged.
    std::vector<AsmError> Errors;
    // For an assembly file that assembled: the source line (from 1) of each word.
    std::vector<int> Lines;

    bool Ok() const { return !Fault && Errors.empty(); }
};

// Opens the program file path of kind into image: an object file as LoadObjectFile
// reads it, or an assembly file read whole (LoadAssemblyFile) and assembled, its
// words then the program (TakeWords). StandardName reads standard input instead, as
// far as the same bounds, named as ShownName names it.
OpenedProgram OpenProgramFile(const std::string& path, ProgramKind kind, ProgramImage& image);

// What a program file is saved from: an image, whose object text (as FormatObjectText
// or TakeWords made it) becomes an object file; or the lines of a listing, each ended
// by CR LF in the file.
using ProgramText =
    std::variant<std::reference_wrapper<const ProgramImage>, std::vector<std::string>>;

// Saves text as the file path: SaveObjectFile or SaveListingFile.
MaybeFailure SaveProgramFile(const std::string& path, const ProgramText& text);

// Saves text as path and makes path the project's name (fileName) when the save
// succeeded. After a failure fileName keeps what it was, so that the project goes on
// naming a file that exists rather than one that was never written.
MaybeFailure SaveProgramAs(std::string& fileName, const std::string& path, const ProgramText& text);

}  // namespace ixo
