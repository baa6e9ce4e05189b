#include <gtest/gtest.h>

#include <vector>

#include "device/Protocol.h"

namespace ixo {
namespace {

template <typename Bytes>
std::vector<int> AsInts(const Bytes& bytes) {
    return std::vector<int>(bytes.begin(), bytes.end());
}

TEST(Protocol, EncodesWriteFrames) {
    EXPECT_EQ(AsInts(EncodeWriteFrame(0x12345678, 37)),
              (std::vector<int>{0x80, 1, 2, 3, 4, 5, 6, 7, 8, 2, 5}));
    EXPECT_EQ(AsInts(EncodeWriteFrame(0x00030000, 127)),
              (std::vector<int>{0x80, 0, 0, 0, 3, 0, 0, 0, 0, 7, 0xF}));
}

TEST(Protocol, EncodesFetchRequests) {
    EXPECT_EQ(AsInts(EncodeFetchRequest(128)), (std::vector<int>{0x88, 8, 0}));
    EXPECT_EQ(AsInts(EncodeFetchRequest(15)), (std::vector<int>{0x88, 0, 0xF}));
    EXPECT_EQ(AsInts(EncodeFetchRequest(16)), (std::vector<int>{0x88, 1, 0}));
}

TEST(Protocol, DecodesRepliesIgnoringHighNibbles) {
    const std::uint8_t plain[] = {0, 0, 0, 3, 0, 0, 0, 0};
    const std::uint8_t ascii[] = {0x30, 0x30, 0x30, 0x33, 0x30, 0x30, 0x30, 0x30};
    const std::uint8_t high[] = {0xF1, 0xE2, 0xD3, 0xC4, 0xB5, 0xA6, 0x97, 0x88};
    EXPECT_EQ(DecodeReplyWord(plain), 0x00030000u);
    EXPECT_EQ(DecodeReplyWord(ascii), 0x00030000u);
    EXPECT_EQ(DecodeReplyWord(high), 0x12345678u);
    for (std::uint32_t word : {0u, 0xFFFFFFFFu, 0x80000001u, 0x0F0F0F0Fu}) {
        EXPECT_EQ(DecodeReplyWord(EncodeReplyWord(word)), word);
    }
    const std::uint8_t address[] = {0x38, 0x40};
    EXPECT_EQ(DecodeAddress(address), 128);
}

}  // namespace
}  // namespace ixo
