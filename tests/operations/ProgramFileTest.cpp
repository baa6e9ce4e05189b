#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SixWords.h"
#include "TempDir.h"
#include "operations/ProgramFile.h"
#include "project/ProjectFiles.h"

namespace ixo {
namespace {

using test::ReadBytes;
using test::SixWordListing;
using test::SixWordObject;
using test::SixWords;
using test::TempDir;
using test::WriteBytes;

TEST(SaveProgramAs, TheProjectTakesTheNameOnlyWhenTheSaveSucceeds) {
    TempDir dir;
    ProgramImage image;
    TakeWords(image, SixWords);
    const struct {
        ProgramText Text;
        const char* Name;
        std::string Saved;
    } cases[] = {
        {image, "prog.obj", SixWordObject},
        {std::vector<std::string>{"NOP", "\tRZP\t100\tK=64"}, "prog.asm",
         "NOP\r\n\tRZP\t100\tK=64\r\n"},
    };
    for (const auto& c : cases) {
        const std::string before = dir.File("before.obj");
        std::string fileName = before;
        EXPECT_TRUE(SaveProgramAs(fileName, dir.File("no-folder/") + c.Name, c.Text)) << c.Name;
        EXPECT_EQ(fileName, before);

        const std::string chosen = dir.File(c.Name);
        EXPECT_FALSE(SaveProgramAs(fileName, chosen, c.Text)) << c.Name;
        EXPECT_EQ(fileName, chosen);
        EXPECT_EQ(ReadBytes(chosen), c.Saved);
    }
}

TEST(OpenProgramFile, AnAssemblyFileGivesItsOwnTextAndTheImageChangesOnlyWhenItAssembles) {
    TempDir dir;
    const std::string path = dir.File("prog.asm");
    std::string text;
    for (const char c : SixWordListing) text += c == '\n' ? std::string("\r\n") : std::string(1, c);
    std::string bad = text;
    bad.replace(bad.find("K=64"), 4, "K=200");
    WriteBytes(path, bad);

    ProgramImage image;
    const std::uint32_t earlier[] = {0x12345678, 0x9ABCDEF0};
    TakeWords(image, earlier);
    OpenedProgram opened = OpenProgramFile(path, ProgramKind::Assembly, image);
    EXPECT_FALSE(opened.Ok());
    EXPECT_FALSE(opened.Fault);
    EXPECT_EQ(opened.Source, bad);
    ASSERT_EQ(opened.Errors.size(), 1u);
    EXPECT_EQ(opened.Errors[0].Line, 6);
    EXPECT_EQ(opened.Errors[0].Column, 10);
    EXPECT_EQ(image.WordCount, 2);
    EXPECT_EQ(image.Words[1], 0x9ABCDEF0u);

    WriteBytes(path, text);
    opened = OpenProgramFile(path, ProgramKind::Assembly, image);
    ASSERT_TRUE(opened.Ok());
    EXPECT_EQ(opened.Source, text);
    EXPECT_EQ(std::vector<std::uint32_t>(ProgramWords(image).begin(), ProgramWords(image).end()),
              std::vector<std::uint32_t>(SixWords.begin(), SixWords.end()));
    EXPECT_EQ(opened.Lines, (std::vector<int>{1, 2, 3, 4, 6, 7}));

    // A file that cannot be read leaves the program as it was.
    opened = OpenProgramFile(dir.File("missing.asm"), ProgramKind::Assembly, image);
    ASSERT_TRUE(opened.Fault);
    EXPECT_EQ(opened.Fault->Kind, FailureKind::CantOpenFile);
    EXPECT_EQ(image.WordCount, 6);
}

TEST(OpenProgramFile, AMalformedObjectFileGivesTheWordsBeforeItsBadLine) {
    TempDir dir;
    const std::string path = dir.File("bad.obj");
    WriteBytes(path, "12345678\r\nXYZ\r\n");
    ProgramImage image;
    const OpenedProgram opened = OpenProgramFile(path, ProgramKind::Object, image);
    ASSERT_TRUE(opened.Fault);
    EXPECT_TRUE(LoadedInPart(*opened.Fault));
    EXPECT_EQ(opened.Fault->Line, 2);
    EXPECT_TRUE(opened.Source.empty());
    EXPECT_EQ(image.WordCount, 1);
    EXPECT_EQ(image.Words[0], 0x12345678u);
}

}  // namespace
}  // namespace ixo
