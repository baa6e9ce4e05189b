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

}  // namespace
}  // namespace ixo
