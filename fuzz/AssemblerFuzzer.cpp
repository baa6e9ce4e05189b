// Fuzz target: any bytes as an assembly source. The assembler never fails but by
// its errors, which show as three lines each, and whatever it accepts lists and
// assembles back to the same words.
// Aborts on any broken promise, so that the fuzzer keeps the input.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "isa/Assembler.h"
#include "isa/Listing.h"
#include "project/ProgramImage.h"

namespace {

void Check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "assembler_fuzzer: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ixo;

    const std::string_view source(reinterpret_cast<const char*>(data), size);
    const Assembly assembly = AssembleListing(source);
    if (!assembly.Ok()) {
        Check(assembly.Errors.size() <= 21, "more than 21 errors");
        Check(assembly.Words.empty(), "words beside errors");
        int line = 0;
        for (const AsmError& error : assembly.Errors) {
            Check(error.Line >= line && error.Column >= 1, "error out of place or order");
            Check(!error.Message.empty(), "error without a message");
            line = error.Line;
        }
        // Shown as compilers show them: three lines an error, nothing a terminal takes
        // for a command.
        const std::string shown = FormatAsmErrors("f.asm", source, assembly.Errors);
        Check(static_cast<std::size_t>(std::count(shown.begin(), shown.end(), '\n')) ==
                  3 * assembly.Errors.size(),
              "an error shown on other than three lines");
        Check(std::none_of(shown.begin(), shown.end(),
                           [](char c) { return (c >= 0 && c < 0x20 && c != '\n') || c == 0x7F; }),
              "a control character in the errors shown");
        return 0;
    }
    Check(assembly.Words.size() <= MaxProgramWords, "more than 128 words");

    ProgramImage image;
    std::copy(assembly.Words.begin(), assembly.Words.end(), image.Words.begin());
    image.WordCount = static_cast<int>(assembly.Words.size());
    std::string listing;
    for (const std::string& line : ListingLines(ProgramWords(image))) listing += line + "\r\n";
    const Assembly again = AssembleListing(listing);
    Check(again.Ok(), "the listing of accepted words does not assemble");
    Check(again.Words == assembly.Words, "the listing assembles to other words");
    return 0;
}
