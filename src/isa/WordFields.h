#pragma once

#include <cstdint>

// The decoder: a program word in, its fields out; and the encoder, back. The
// format follows from the word's position in the program, never from its bits:
// positions 0 to 3 set up the four LFO channels, positions 4 and later are
// instructions. Decoding cannot fail; every 32-bit value has fields.

namespace ixo {

// The no-operation instruction, also the filler after a program's last word. Only
// this exact value at an instruction position is a NOP.
inline constexpr std::uint32_t NopWord = 0x00030000;

// Positions 0 to LfoWordCount-1 hold LFO set-up words.
inline constexpr int LfoWordCount = 4;

// A program has at most this many words: the device holds no more.
inline constexpr int MaxProgramWords = 128;

// Waveform codes of an LFO word. Code 2 has no name.
inline constexpr unsigned WaveSin = 0;
inline constexpr unsigned WaveTri = 1;
inline constexpr unsigned WaveSaw = 3;

// Set-up of one LFO channel.
struct LfoWord {
    unsigned Wave = 0;  // bits 31-30
    unsigned Xfad = 0;  // bits 29-28: crossfade 1, 1/2, 1/8, 1/16; used with SAW only
    unsigned Freq = 0;  // bits 27-15, 0..8191
    unsigned Amp = 0;   // bits 14-0, 0..32767
};

// One instruction. ChrForm picks the form; the fields of the other form keep their
// defaults.
struct InstructionWord {
    bool IsNop = false;      // the word is exactly NopWord
    bool ChrForm = false;    // bit 21
    bool WriteFlag = false;  // bit 22: write (W) or read (R)
    bool FlagC = false;      // bit 20
    bool FlagB = false;      // bit 19
    unsigned Pointer = 0;    // bits 17-16: ZP, BP, CP, AP
    unsigned Address = 0;    // bits 15-0: 0 and 1 are the left and right input or output

    // Coefficient form: sign and magnitude (bit 31, bits 30-24), -127..127, worth
    // K/127. A sign with zero magnitude is plain 0.
    int K = 0;

    // CHR form.
    bool Sign = false;     // bit 31: "-" when set
    unsigned Channel = 0;  // bits 25-24
    bool Cos = false;      // bit 23: COS when set, else SIN
    bool MaskA = false;    // bit 30 as stored; the option is on when the bit is 0
    bool CompS = false;    // bit 29
    bool CompK = false;    // bit 28
    bool CompA = false;    // bit 27
    bool Latch = false;    // bit 26
};

LfoWord DecodeLfoWord(std::uint32_t word);
InstructionWord DecodeInstructionWord(std::uint32_t word);

// The words of the fields, the other way round. Bits that no field holds are 0: in
// an LFO word none; in an instruction bit 18, and bit 23 of the coefficient form,
// whose K of 0 has no sign. IsNop is not read, and only the fields of the form
// ChrForm picks are.
std::uint32_t EncodeLfoWord(const LfoWord& fields);
std::uint32_t EncodeInstructionWord(const InstructionWord& fields);

}  // namespace ixo
