#include "isa/WordFields.h"

namespace ixo {

namespace {

// Where a field lies in a word: its lowest bit and its width. Decoding and
// encoding both read the places from here.
struct Bits {
    int Low;
    int Width;

    constexpr unsigned Get(std::uint32_t word) const {
        return (word >> Low) & ((1u << Width) - 1u);
    }
    constexpr std::uint32_t Put(unsigned value) const {
        return (static_cast<std::uint32_t>(value) & ((1u << Width) - 1u)) << Low;
    }
};

constexpr Bits LfoWave{30, 2}, LfoXfad{28, 2}, LfoFreq{15, 13}, LfoAmp{0, 15};

constexpr Bits SignBit{31, 1}, KMag{24, 7}, WriteBit{22, 1}, ChrBit{21, 1}, FlagCBit{20, 1},
    FlagBBit{19, 1}, PointerBits{16, 2}, AddressBits{0, 16};
constexpr Bits MaskABit{30, 1}, CompSBit{29, 1}, CompKBit{28, 1}, CompABit{27, 1}, LatchBit{26, 1},
    ChannelBits{24, 2}, CosBit{23, 1};

}  // namespace

LfoWord DecodeLfoWord(std::uint32_t word) {
    LfoWord fields;
    fields.Wave = LfoWave.Get(word);
    fields.Xfad = LfoXfad.Get(word);
    fields.Freq = LfoFreq.Get(word);
    fields.Amp = LfoAmp.Get(word);
    return fields;
}

std::uint32_t EncodeLfoWord(const LfoWord& fields) {
    return LfoWave.Put(fields.Wave) | LfoXfad.Put(fields.Xfad) | LfoFreq.Put(fields.Freq) |
           LfoAmp.Put(fields.Amp);
}

InstructionWord DecodeInstructionWord(std::uint32_t word) {
    InstructionWord fields;
    fields.IsNop = word == NopWord;
    fields.ChrForm = ChrBit.Get(word);
    fields.WriteFlag = WriteBit.Get(word);
    fields.FlagC = FlagCBit.Get(word);
    fields.FlagB = FlagBBit.Get(word);
    fields.Pointer = PointerBits.Get(word);
    fields.Address = AddressBits.Get(word);

    if (!fields.ChrForm) {
        const int magnitude = static_cast<int>(KMag.Get(word));
        fields.K = SignBit.Get(word) ? -magnitude : magnitude;
        return fields;
    }
    fields.Sign = SignBit.Get(word);
    fields.Channel = ChannelBits.Get(word);
    fields.Cos = CosBit.Get(word);
    fields.MaskA = MaskABit.Get(word);
    fields.CompS = CompSBit.Get(word);
    fields.CompK = CompKBit.Get(word);
    fields.CompA = CompABit.Get(word);
    fields.Latch = LatchBit.Get(word);
    return fields;
}

std::uint32_t EncodeInstructionWord(const InstructionWord& fields) {
    std::uint32_t word = ChrBit.Put(fields.ChrForm) | WriteBit.Put(fields.WriteFlag) |
                         FlagCBit.Put(fields.FlagC) | FlagBBit.Put(fields.FlagB) |
                         PointerBits.Put(fields.Pointer) | AddressBits.Put(fields.Address);
    if (!fields.ChrForm) {
        const unsigned magnitude = static_cast<unsigned>(fields.K < 0 ? -fields.K : fields.K);
        return word | SignBit.Put(fields.K < 0) | KMag.Put(magnitude);
    }
    return word | SignBit.Put(fields.Sign) | ChannelBits.Put(fields.Channel) |
           CosBit.Put(fields.Cos) | MaskABit.Put(fields.MaskA) | CompSBit.Put(fields.CompS) |
           CompKBit.Put(fields.CompK) | CompABit.Put(fields.CompA) | LatchBit.Put(fields.Latch);
}

}  // namespace ixo
