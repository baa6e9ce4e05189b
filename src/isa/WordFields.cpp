#include "isa/WordFields.h"

#include "isa/WordBits.h"

namespace ixo {

using namespace bits;

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
