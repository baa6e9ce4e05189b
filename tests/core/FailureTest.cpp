#include <gtest/gtest.h>

#include "core/Failure.h"

namespace ixo {
namespace {

TEST(FailureText, WordsEachFailure) {
    EXPECT_EQ(FailureText(NoResponseAt(17)), "No response from device at address 17");
    EXPECT_EQ(FailureText(NoResponseAt(0)), "No response from device at address 0");
    EXPECT_EQ(FailureText(BadObjectLine("/a/b.obj", 4)), "Bad line 4 in object file \"/a/b.obj\"");
    EXPECT_EQ(FailureText(CantCreateFile("/a/b.asm")), "Cannot create file /a/b.asm");
}

TEST(FailureDetail, ShowsTheFirstDifferenceOfAVerify) {
    const Failure failure = VerifyFailAt(10, 0x00030000, 0x0000ABCD);
    EXPECT_EQ(FailureText(failure), "Verify fail");
    EXPECT_EQ(FailureDetail(failure),
              "First difference at address 10: program 00030000, device 0000ABCD");
    EXPECT_EQ(FailureDetail(CantWriteToPort()), "");
}

// ixo and ixo-sim say a failure on one line: the detail joined on where there is
// one, and no dangling separator where there is none.
TEST(FailureMessage, JoinsTheDetailWhereThereIsOne) {
    EXPECT_EQ(FailureMessage(VerifyFailAt(3, 1, 2)),
              "Verify fail: First difference at address 3: program 00000001, device 00000002");
    EXPECT_EQ(FailureMessage(CantWriteFile("/a/b.obj", "No space left on device")),
              FailureText(CantWriteFile("/a/b.obj")) + ": No space left on device");
    EXPECT_EQ(FailureMessage(EmptyProject()), FailureText(EmptyProject()));
}

}  // namespace
}  // namespace ixo
