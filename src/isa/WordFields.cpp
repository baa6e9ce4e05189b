#include "isa/WordFields.h"

namespace ixo {

namespace {

// The width bits of word starting at bit low.
constexpr unsigned Field(std::uint32_t word, int low, int width) {
    return (word >> low) & ((1u << width) - 1u);
}

constexpr bool Bit(std::uint32_t word, int bit) {
    return Field(word, bit, 1) != 0;
}

}  // namespace

LfoWord DecodeLfoWord(std::uint32_t word) {
    LfoWord fields;
    fields.Wave = Field(word, 30, 2);
    fields.Xfad = Field(word, 28, 2);
    fields.Freq = Field(word, 15, 13);
    fields.Amp = Field(word, 0, 15);
    return fields;
}

InstructionWord DecodeInstructionWord(std::uint32_t word) {
    InstructionWord fields;
    fields.IsNop = word == NopWord;
    fields.ChrForm = Bit(word, 21);
    fields.WriteFlag = Bit(word, 22);
    fields.FlagC = Bit(word, 20);
    fields.FlagB = Bit(word, 19);
    fields.Pointer = Field(word, 16, 2);
    fields.Address = Field(word, 0, 16);

    if (!fields.ChrForm) {
        const int magnitude = static_cast<int>(Field(word, 24, 7));
        fields.K = Bit(word, 31) ? -magnitude : magnitude;
        return fields;
    }
    fields.Sign = Bit(word, 31);
    fields.Channel = Field(word, 24, 2);
    fields.Cos = Bit(word, 23);
    fields.MaskA = Bit(word, 30);
    fields.CompS = Bit(word, 29);
    fields.CompK = Bit(word, 28);
    fields.CompA = Bit(word, 27);
    fields.Latch = Bit(word, 26);
    return fields;
}

}  // namespace ixo
