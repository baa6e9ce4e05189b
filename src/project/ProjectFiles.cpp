#include "project/ProjectFiles.h"

#include <algorithm>
#include <array>
#include <cctype>
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

// Why a file larger than a kind of program file may be is refused.
std::string TooLarge(const char* kind) {
    return "larger than " + std::to_string(MaxProgramFileBytes >> 20) + " MiB, too large for " +
           kind;
}

// Takes an object file's bytes as they are read. The first ObjTextSize of them are
// the object text; of the rest only whether they go on after the program matters,
// so nothing beyond the object text is kept, however long the file.
class ObjectFileReader {
public:
    explicit ObjectFileReader(const ProgramImage& image) : program_(image) {
        program_.ObjText.fill(0);
    }

    // Takes the next piece; false once the rest of the file no longer matters.
    bool Take(std::span<const std::uint8_t> piece) {
        total_ += piece.size();
        if (total_ > MaxProgramFileBytes) return false;
        const std::size_t copied = std::min(piece.size(), program_.ObjText.size() - held_);
        std::copy_n(piece.begin(), copied, program_.ObjText.begin() + held_);
        held_ += copied;
        if (held_ < program_.ObjText.size()) return true;
        if (!parsed_) Parse();
        return trailing_ && trailing_->Take(piece.subspan(copied));
    }

    // After the last piece, the image takes the program; the words stay even when
    // the file fails, as a malformed file leaves the words before its bad line.
    MaybeFailure Finish(const std::string& name, ProgramImage& image) {
        if (total_ > MaxProgramFileBytes) return CantOpenFile(name, TooLarge("an object file"));
        if (!parsed_) Parse();
        image = program_;
        const int endLine = image.WordCount + 1;
        if (!trailing_) return BadObjectLine(name, endLine, BadLineText(stop_));
        if (trailing_->Finish()) return std::nullopt;
        return TextLeftOut(
            name, trailing_->Line(),
            image.WordCount == MaxProgramWords
                ? "more than " + std::to_string(MaxProgramWords) + " words"
                : "text after the program, which ends at line " + std::to_string(endLine));
    }

private:
    void Parse() {
        parsed_ = true;
        if (!ParseObjectText(program_, &stop_)) return;
        trailing_.emplace(program_.WordCount + 1);
        const std::size_t end = static_cast<std::size_t>(program_.WordCount) * ObjectLineLength;
        trailing_->Take(std::span(program_.ObjText).first(held_).subspan(end));
    }

    ProgramImage program_;
    std::size_t total_ = 0;
    std::size_t held_ = 0;
    bool parsed_ = false;
    ObjectLine stop_{ObjectLineKind::End};
    std::optional<TrailingTextCheck> trailing_;  // none after a bad line
};

}  // namespace

MaybeFailure LoadObjectFile(const std::string& path, ProgramImage& image) {
    // Read whole before the image changes, so that a read error leaves it alone.
    ObjectFileReader reader(image);
    std::string why;
    if (!ReadRegularFile(
            path, [&](std::span<const std::uint8_t> piece) { return reader.Take(piece); }, &why)) {
        return CantOpenFile(path, why);
    }
    return reader.Finish(path, image);
}

bool LoadedInPart(const Failure& failure) {
    return failure.Kind == FailureKind::BadObjectLine || failure.Kind == FailureKind::TextLeftOut;
}

namespace {

// Collects an assembly text, up to one byte more than an assembly file may have.
auto CollectAssemblyText(std::string& read) {
    return [&read](std::span<const std::uint8_t> piece) {
        read.append(piece.begin(), piece.end());
        return read.size() <= MaxAssemblyFileBytes;
    };
}

// The text collected, unless it is larger than an assembly file may be.
MaybeFailure TakeAssemblyText(std::string read, const std::string& name, std::string& text) {
    if (read.size() > MaxAssemblyFileBytes) {
        return CantOpenFile(name, TooLarge("an assembly file"));
    }
    text = std::move(read);
    return std::nullopt;
}

}  // namespace

MaybeFailure ReadObjectText(std::FILE* file, const std::string& name, ProgramImage& image) {
    ObjectFileReader reader(image);
    std::string why;
    if (!ReadOpenStream(
            file, [&](std::span<const std::uint8_t> piece) { return reader.Take(piece); }, &why)) {
        return CantOpenFile(name, why);
    }
    return reader.Finish(name, image);
}

bool IsAssemblyFileName(std::string_view path) {
    constexpr std::string_view Extension = ".asm";
    if (path.size() < Extension.size()) return false;
    const std::string_view end = path.substr(path.size() - Extension.size());
    return std::equal(end.begin(), end.end(), Extension.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    });
}

MaybeFailure LoadAssemblyFile(const std::string& path, std::string& text) {
    std::string why;
    std::string read;
    if (!ReadRegularFile(path, CollectAssemblyText(read), &why)) return CantOpenFile(path, why);
    return TakeAssemblyText(std::move(read), path, text);
}

MaybeFailure ReadAssemblyText(std::FILE* file, const std::string& name, std::string& text) {
    std::string why;
    std::string read;
    if (!ReadOpenStream(file, CollectAssemblyText(read), &why)) return CantOpenFile(name, why);
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
