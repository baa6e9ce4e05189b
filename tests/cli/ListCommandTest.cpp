// The ixo list command, run as a real process on real files.

#include <gtest/gtest.h>

#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "Fifo.h"
#include "IxoProcess.h"
#include "SixWords.h"
#include "TempDir.h"

namespace ixo::test {
namespace {

TEST(IxoList, PrintsListing) {
    TempDir dir;
    const std::string file = dir.File("six.obj");
    WriteBytes(file, SixWordObject);
    const IxoResult result = RunIxo({"list", file}, dir.Path().string());
    EXPECT_EQ(result.ExitStatus, 0);
    EXPECT_EQ(result.Out, SixWordListing);
    EXPECT_EQ(result.Err, "");
}

TEST(IxoList, EmptyFileHasEmptyListing) {
    TempDir dir;
    const std::string file = dir.File("empty.obj");
    WriteBytes(file, "");
    const IxoResult result = RunIxo({"list", file}, dir.Path().string());
    EXPECT_EQ(result.ExitStatus, 0);
    EXPECT_EQ(result.Out, "");
    EXPECT_EQ(result.Err, "");
}

TEST(IxoList, UsesPathAsGiven) {
    // "prog" must not become "prog.obj", and "prog.txt" is read as it is.
    TempDir dir;
    WriteBytes(dir.File("prog"), "00000000\r\n");
    WriteBytes(dir.File("prog.obj"), "BFFFFFFF\r\n");
    WriteBytes(dir.File("prog.txt"), "41F42EE0\r\n");
    const std::string folder = dir.Path().string();

    const IxoResult bare = RunIxo({"list", dir.File("prog")}, folder);
    EXPECT_EQ(bare.ExitStatus, 0);
    EXPECT_EQ(bare.Out, "LFO0\tSIN\tAMP=0\t\tFREQ=0\n");

    const IxoResult txt = RunIxo({"list", dir.File("prog.txt")}, folder);
    EXPECT_EQ(txt.ExitStatus, 0);
    EXPECT_EQ(txt.Out, "LFO0\tTRI\tAMP=12000\tFREQ=1000\n");

    // A name relative to the working folder that starts with a dash, after "--".
    WriteBytes(dir.File("-dash.obj"), "00000000\r\n");
    const IxoResult dashed = RunIxo({"list", "--", "-dash.obj"}, folder);
    EXPECT_EQ(dashed.ExitStatus, 0);
    EXPECT_EQ(dashed.Out, "LFO0\tSIN\tAMP=0\t\tFREQ=0\n");
}

TEST(IxoList, UnreadableFileFails) {
    TempDir dir;
    // A file that does not exist, and a folder, which opens but cannot be read:
    // each with the system's reason. A FIFO with no writer is refused at once, not
    // waited on.
    const FifoWithoutWriter fifo(dir.File("pipe.obj"));
    const std::pair<std::string, std::string> cases[] = {
        {dir.File("absent.obj"), "No such file or directory"},
        {dir.Path().string(), "Is a directory"},
        {fifo.Path(), "not a regular file"},
    };
    for (const auto& [path, reason] : cases) {
        SCOPED_TRACE(path);
        const IxoResult result = RunIxo({"list", path}, dir.Path().string());
        EXPECT_EQ(result.ExitStatus, 1);
        EXPECT_EQ(result.Out, "");
        EXPECT_EQ(result.Err, "ixo: Can't open file \"" + path + "\": " + reason + "\n");
    }
    EXPECT_FALSE(fifo.ReaderWaited());
}

TEST(IxoList, MalformedFileListsWordsBeforeBadLine) {
    TempDir dir;
    const std::string folder = dir.Path().string();

    // Six good words, then a line ending in a line feed alone.
    const std::string file = dir.File("bad.obj");
    WriteBytes(file, SixWordObject + "00000001\n\r");
    const IxoResult result = RunIxo({"list", file}, folder);
    EXPECT_EQ(result.ExitStatus, 1);
    EXPECT_EQ(result.Out, SixWordListing);
    EXPECT_EQ(result.Err, file + ":7: line feed without carriage return\n");

    // A bad first line lists nothing.
    const std::string first = dir.File("first.obj");
    WriteBytes(first, "0x000000\r\n00000000\r\n");
    const IxoResult none = RunIxo({"list", first}, folder);
    EXPECT_EQ(none.ExitStatus, 1);
    EXPECT_EQ(none.Out, "");
    EXPECT_EQ(none.Err, first + ":1: 'x' is not a hexadecimal digit\n");

    // Words beyond the 128th are listed by none, and named where they start.
    const std::string overlong = dir.File("overlong.obj");
    std::string text = SixWordObject;
    while (text.size() < 1300) text += "00030000\r\n";
    WriteBytes(overlong, text);
    const IxoResult cut = RunIxo({"list", overlong}, folder);
    EXPECT_EQ(cut.ExitStatus, 1);
    EXPECT_EQ(std::count(cut.Out.begin(), cut.Out.end(), '\n'), 129);  // with the ";" line
    EXPECT_EQ(cut.Err, overlong + ":129: more than 128 words\n");
}

TEST(IxoList, UsageErrorsExitTwo) {
    TempDir dir;
    const std::string file = dir.File("six.obj");
    WriteBytes(file, SixWordObject);
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"list"},
        {"list", file, file},
        {"list", "--bogus", file},
        {"list", file, "-x"},
    };
    for (const std::vector<std::string>& args : cases) {
        std::string shown = "ixo";
        for (const std::string& arg : args) shown += " " + arg;
        SCOPED_TRACE(shown);
        const IxoResult result = RunIxo(args, dir.Path().string());
        EXPECT_EQ(result.ExitStatus, 2);
        EXPECT_EQ(result.Out, "");
        EXPECT_NE(result.Err.find("--help"), std::string::npos) << result.Err;
    }
}

TEST(IxoList, HelpGoesToStandardOutput) {
    TempDir dir;
    const IxoResult general = RunIxo({"--help"}, dir.Path().string());
    EXPECT_EQ(general.ExitStatus, 0);
    EXPECT_NE(general.Out.find("list"), std::string::npos) << general.Out;
    EXPECT_EQ(general.Err, "");

    const IxoResult list = RunIxo({"list", "--help"}, dir.Path().string());
    EXPECT_EQ(list.ExitStatus, 0);
    EXPECT_NE(list.Out.find("Usage: ixo list [OPTIONS] FILE"), std::string::npos) << list.Out;
    EXPECT_EQ(list.Err, "");
}

// A locale whose decimal separator is a comma, and the LOCPATH it needs (empty
// for an installed one).
struct CommaLocale {
    std::string Name;
    std::string LocPath;
};

bool HasCommaSeparator(const std::string& name) {
    const locale_t locale = newlocale(LC_NUMERIC_MASK, name.c_str(), static_cast<locale_t>(0));
    if (locale == static_cast<locale_t>(0)) return false;
    const bool comma = std::string(nl_langinfo_l(RADIXCHAR, locale)) == ",";
    freelocale(locale);
    return comma;
}

// An installed locale with a comma, else one compiled into folder from the
// system's locale sources. Empty name when neither is possible.
CommaLocale FindCommaLocale(const std::string& folder) {
    if (std::FILE* list = popen("locale -a 2>/dev/null", "r")) {
        char line[256];
        std::string found;
        while (found.empty() && std::fgets(line, sizeof line, list) != nullptr) {
            std::string name = line;
            while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
            if (!name.empty() && HasCommaSeparator(name)) found = name;
        }
        pclose(list);
        if (!found.empty()) return {found, ""};
    }
    std::error_code error;
    if (!std::filesystem::exists("/usr/share/i18n/locales/de_DE") ||
        !std::filesystem::create_directories(folder, error)) {
        return {};
    }
    const std::string command =
        "localedef -i de_DE -f UTF-8 '" + folder + "/de_DE.UTF-8' >/dev/null 2>&1";
    (void)std::system(command.c_str());
    if (!std::filesystem::exists(folder + "/de_DE.UTF-8/LC_NUMERIC")) return {};
    return {"de_DE.UTF-8", folder};
}

TEST(IxoList, WritesLocaleDecimalSeparator) {
    TempDir dir;
    const CommaLocale locale = FindCommaLocale(dir.File("locales"));
    if (locale.Name.empty()) {
        GTEST_SKIP() << "no locale with a decimal comma is installed, and none could be "
                        "built with localedef (needs the locales package)";
    }
    const std::string file = dir.File("six.obj");
    WriteBytes(file, SixWordObject);
    std::map<std::string, std::string> env = {{"LC_ALL", locale.Name}};
    if (!locale.LocPath.empty()) env["LOCPATH"] = locale.LocPath;

    const IxoResult result = RunIxo({"list", file}, dir.Path().string(), env);
    std::string expected = SixWordListing;
    expected.replace(expected.find("0.503937007874016"), 17, "0,503937007874016");
    EXPECT_EQ(result.ExitStatus, 0);
    EXPECT_EQ(result.Out, expected) << "locale " << locale.Name;
    EXPECT_EQ(result.Err, "");
}

}  // namespace
}  // namespace ixo::test
