#include "project/ProjectFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "project/SafeFiles.h"

namespace ixo {

std::string ReplaceFileExt(std::string_view path, std::string_view ext) {
    std::size_t start = 0;
    if (path.size() >= 2 && path[1] == ':' &&
        ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
        start = 2;
    }
    const std::size_t slash = path.find_last_of("/\\");
    const std::size_t nameStart =
        (slash == std::string_view::npos || slash < start) ? start : slash + 1;
    const std::string_view name = path.substr(nameStart);
    std::size_t nameEnd = path.size();
    if (name != "." && name != "..") {
        const std::size_t dot = name.find_last_of('.');
        if (dot != std::string_view::npos) nameEnd = nameStart + dot;
    }
    std::string result(path.substr(0, nameEnd));
    result += ext;
    return result;
}

namespace {

// Takes text as the object text of image, and parses it; name is the file's.
MaybeFailure TakeObjectText(std::string_view text, const std::string& name, ProgramImage& image) {
    image.ObjText.fill(0);
    std::copy(text.begin(), text.end(), image.ObjText.begin());
    if (!ParseObjectText(image)) return BadObjectLine(name, image.WordCount + 1);
    return std::nullopt;
}

}  // namespace

MaybeFailure LoadObjectFile(const std::string& path, ProgramImage& image) {
    // Read whole before the image changes, so that a read error leaves it alone.
    std::string why;
    const std::optional<std::string> text = ReadRegularFile(path, image.ObjText.size(), &why);
    if (!text) return CantOpenFile(path, why);
    return TakeObjectText(*text, path, image);
}

MaybeFailure ReadObjectText(std::FILE* file, const std::string& name, ProgramImage& image) {
    std::string text(image.ObjText.size(), '\0');
    const std::size_t got = std::fread(text.data(), 1, text.size(), file);
    if (got < text.size() && std::ferror(file)) return CantOpenFile(name, std::strerror(errno));
    text.resize(got);
    return TakeObjectText(text, name, image);
}

namespace {

// Text of at most MaxAssemblyFileBytes, read as one byte more to tell a larger file.
MaybeFailure TakeAssemblyText(std::string read, const std::string& name, std::string& text) {
    if (read.size() > MaxAssemblyFileBytes) {
        return CantOpenFile(name, "larger than " + std::to_string(MaxAssemblyFileBytes >> 20) +
                                      " MiB, too large for an assembly file");
    }
    text = std::move(read);
    return std::nullopt;
}

}  // namespace

MaybeFailure LoadAssemblyFile(const std::string& path, std::string& text) {
    std::string why;
    std::optional<std::string> read = ReadRegularFile(path, MaxAssemblyFileBytes + 1, &why);
    if (!read) return CantOpenFile(path, why);
    return TakeAssemblyText(std::move(*read), path, text);
}

MaybeFailure ReadAssemblyText(std::FILE* file, const std::string& name, std::string& text) {
    std::string read(MaxAssemblyFileBytes + 1, '\0');
    const std::size_t got = std::fread(read.data(), 1, read.size(), file);
    if (got < read.size() && std::ferror(file)) return CantOpenFile(name, std::strerror(errno));
    read.resize(got);
    return TakeAssemblyText(std::move(read), name, text);
}

MaybeFailure SaveObjectFile(const std::string& path, const ProgramImage& image) {
    const std::string_view text(reinterpret_cast<const char*>(image.ObjText.data()),
                                ObjectTextLength(image));
    return ReplaceFileContents(path, text, CantWriteFile(path));
}

MaybeFailure SaveListingFile(const std::string& path, const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += "\r\n";
    }
    return ReplaceFileContents(path, text, CantCreateFile(path));
}

}  // namespace ixo
