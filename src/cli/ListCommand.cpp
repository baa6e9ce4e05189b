// ixo list FILE: the assembly listing of an object file on standard output.

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "cli/Commands.h"
#include "isa/Listing.h"
#include "project/ProjectFiles.h"

namespace ixo::cli {

namespace {

void PrintListHelp() {
    std::printf(
        "Usage: ixo list FILE\n\n"
        "Prints the assembly listing of the object file FILE on standard output:\n"
        "the four LFO set-up words, a line \";\", then the instructions, one line per\n"
        "word, columns separated by tabs. FILE is used as given; no extension is added\n"
        "or replaced. Coefficients are written with the decimal separator of the\n"
        "current locale.\n\n"
        "A file with a malformed line: the words before it are listed, the line is\n"
        "reported on standard error, and the exit status is 1.\n\n"
        "Exit status: 0 success, 1 the file cannot be read or is malformed, 2 usage error.\n");
}

// The separator the user's locale writes numbers with; main() has set the locale.
std::string_view LocaleDecimalSeparator() {
    const std::lconv* conventions = std::localeconv();
    if (conventions == nullptr || conventions->decimal_point == nullptr ||
        *conventions->decimal_point == '\0') {
        return ".";
    }
    return conventions->decimal_point;
}

}  // namespace

int RunList(const std::vector<std::string>& args) {
    if (WantsHelp(args)) {
        PrintListHelp();
        return ExitOk;
    }
    std::vector<std::string> files;
    bool optionsEnded = false;
    for (const std::string& arg : args) {
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            return UsageError("list", "unknown option '" + arg + "'");
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) return UsageError("list", "no object file given");
    if (files.size() > 1) return UsageError("list", "only one object file can be listed");

    ProgramImage image;
    const MaybeFailure failure = LoadObjectFile(files[0], image);
    if (failure && failure->Kind != FailureKind::BadObjectLine) {
        std::fprintf(stderr, "%s\n", FailureText(*failure).c_str());
        return ExitFailure;
    }
    // A malformed file still lists the words before its bad line, as the window does.
    for (const std::string& line : ListingLines(image, LocaleDecimalSeparator())) {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "ixo list: can't write standard output: %s\n", std::strerror(errno));
        return ExitFailure;
    }
    if (failure) {
        std::fprintf(stderr, "%s\n", FailureText(*failure).c_str());
        return ExitFailure;
    }
    return ExitOk;
}

}  // namespace ixo::cli
