#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "core/Failure.h"
#include "project/ProgramImage.h"

namespace ixo {

// Drive ("C:"), folder (up to the last "/" or "\") and base name of path, followed by
// ext (with its dot, or empty); the path's own extension is dropped. A final
// component "." or ".." has no extension. The whole path takes part, however long.
std::string ReplaceFileExt(std::string_view path, std::string_view ext);

// The most a program file, object or assembly, may hold; the reading of a larger
// one stops there, so that an endless input (/dev/zero) is refused at once.
inline constexpr std::size_t MaxProgramFileBytes = 1 << 20;

// Opens an object file: reads up to 4096 bytes of it into ObjText (the rest zero)
// and parses it; the rest of the file is read only to see that nothing but empty
// lines ("\r\n") and zero bytes follow the program, and only until something else
// does. Failures:
// - CantOpenFile: the file cannot be opened or read, is not a regular file (a FIFO
//   or device is refused at once, never waited for), or is larger than
//   MaxProgramFileBytes; Why says why; the image is unchanged.
// - BadObjectLine: a malformed line; the words before it are the program
//   (WordCount of them), as ParseObjectText leaves them; Why says what is wrong
//   with the line.
// - TextLeftOut: more than 128 words, or text after the line that ends the program;
//   the program is loaded as ParseObjectText reads it, Line is the first line left
//   out and Why says why.
MaybeFailure LoadObjectFile(const std::string& path, ProgramImage& image);

// Whether a failure of LoadObjectFile still left the file's program in the image:
// the words before a bad line, or all but the text left out.
bool LoadedInPart(const Failure& failure);

// The same from a stream already open, for example standard input, read as
// ReadOpenStream reads it (a stop signal ends the wait for it); name stands for it in
// a failure.
MaybeFailure ReadObjectText(std::FILE* file, const std::string& name, ProgramImage& image);

// An assembly file is text to assemble (isa/Assembler.h); a larger file is none.
inline constexpr std::size_t MaxAssemblyFileBytes = MaxProgramFileBytes;

// Whether path names an assembly file: it ends in ".asm", in any case.
bool IsAssemblyFileName(std::string_view path);

// The text of the assembly file path, whole. CantOpenFile, with the reason in Why, when
// it cannot be read, is not a regular file (refused at once, as LoadObjectFile does),
// or is larger than MaxAssemblyFileBytes.
MaybeFailure LoadAssemblyFile(const std::string& path, std::string& text);

// The same from a stream already open; name stands for it in a failure.
MaybeFailure ReadAssemblyText(std::FILE* file, const std::string& name, std::string& text);

// Saves ObjText up to its first zero byte as the object file path.
// CantWriteFile when the file cannot be created or written in full.
MaybeFailure SaveObjectFile(const std::string& path, const ProgramImage& image);

// Saves listing lines, each followed by CR LF, as the listing file path.
// CantCreateFile when the file cannot be created, CantWriteFile when it cannot be
// written in full.
MaybeFailure SaveListingFile(const std::string& path, const std::vector<std::string>& lines);

}  // namespace ixo
