#include <cstddef>

#include "isa/AsmNames.h"
#include "isa/AsmParser.h"
#include "isa/Notation.h"
#include "isa/WordBits.h"

namespace ixo::assembler {

using namespace notation;

namespace {

// The largest value of each field, as wide as the word gives it.
constexpr unsigned MaxAmp = bits::LfoAmp.Max();
constexpr unsigned MaxFreq = bits::LfoFreq.Max();

std::optional<unsigned> LfoLabelNumber(std::string_view field) {
    if (!StartsWithName(field, LfoLabel)) return std::nullopt;
    const std::optional<long> n = ParseDecimal(field.substr(LfoLabel.size()));
    if (!n || *n >= LfoWordCount) return std::nullopt;
    return static_cast<unsigned>(*n);
}

}  // namespace

bool Assembler::LfoLineFollows(unsigned n) const {
    for (std::size_t i = static_cast<std::size_t>(line_); i < lines_.size(); ++i) {
        const std::string_view first = FirstField(lines_[i]);
        if (first.empty()) continue;
        if (!StartsWithName(first, LfoLabel)) return false;
        if (LfoLabelNumber(first) == n) return true;
    }
    return false;
}

void Assembler::LfoOrder(const Field& label, std::optional<unsigned> n) {
    const std::string name = Upper(label.Text);
    if (nextLfo_ >= LfoWordCount) {
        if (!n) return;  // its label is wrong, and said to be
        if (seenLfo_[*n]) {
            Error(label.Column, name + " given twice");
        } else if (!lfoOrderTold_) {
            Error(label.Column, name + " where an instruction was expected");
        }
        return;
    }
    const unsigned expected = static_cast<unsigned>(nextLfo_);
    if (!n || *n == expected) {
        if (n) seenLfo_[*n] = true;
        ++nextLfo_;
        return;
    }
    if (seenLfo_[*n]) {
        Error(label.Column, name + " given twice");
        return;
    }
    seenLfo_[*n] = true;
    if (*n < expected) return;  // put late by the slip already told
    if (LfoLineFollows(expected)) {
        Error(label.Column,
              name + " before " + LfoName(nextLfo_) + " (the LFO lines go in order, LFO0 to LFO3)");
    } else {
        Error(label.Column, name + " where " + LfoName(nextLfo_) + " was expected");
    }
    lfoOrderTold_ = true;
    nextLfo_ = static_cast<int>(*n) + 1;
}

void Assembler::LfoLine(std::span<const Field> fields, int endColumn) {
    const std::optional<unsigned> n = LabelNumber(fields[0], LfoLabel, LfoWordCount - 1);
    LfoOrder(fields[0], n);

    LfoWord word;
    word.Wave = 2;
    bool waveNamed = false;
    fields = fields.subspan(1);
    if (!fields.empty()) {
        if (const std::optional<unsigned> wave = FindName(fields[0].Text, WaveNames)) {
            word.Wave = *wave;
            waveNamed = true;
            fields = fields.subspan(1);
        }
    }
    bool amp = false, freq = false, xfad = false;
    for (const Field& field : fields) {
        if (xfad) {
            Unexpected(field);
        } else if (StartsWithName(field.Text, AmpKey)) {
            if (amp) Error(field.Column, std::string(AmpKey) + " given twice");
            amp = true;
            word.Amp = static_cast<unsigned>(Value(field, AmpKey, 0, MaxAmp).value_or(0));
        } else if (StartsWithName(field.Text, FreqKey)) {
            if (freq) Error(field.Column, std::string(FreqKey) + " given twice");
            freq = true;
            word.Freq = static_cast<unsigned>(Value(field, FreqKey, 0, MaxFreq).value_or(0));
        } else if (StartsWithName(field.Text, XfadKey)) {
            // Early, it is an error, and the line goes on as if it were not there.
            xfad = amp && freq;
            Crossfade(field, word, xfad);
        } else if (const std::optional<unsigned> wave = FindName(field.Text, WaveNames)) {
            Error(field.Column, waveNamed
                                    ? "a second waveform " + Upper(field.Text)
                                    : Upper(field.Text) + " comes before " + std::string(AmpKey) +
                                          " and " + std::string(FreqKey));
            word.Wave = *wave;
            waveNamed = true;
        } else {
            // A misspelt AMP= or FREQ= is not missing as well.
            const std::string key = UnknownLfoField(field);
            amp = amp || key == AmpKey;
            freq = freq || key == FreqKey;
        }
    }
    if (!amp) Error(endColumn, "missing " + std::string(AmpKey) + Range(0, MaxAmp));
    if (!freq) Error(endColumn, "missing " + std::string(FreqKey) + Range(0, MaxFreq));
    result_.Words.push_back(EncodeLfoWord(word));
}

std::string Assembler::UnknownLfoField(const Field& field) {
    const std::string_view text = field.Text;
    const std::size_t equals = text.find('=');
    std::string suggestion;
    std::string key;
    if (equals == std::string_view::npos) {
        suggestion = DidYouMean(text, WaveNames);
    } else {
        key = NearestName(text.substr(0, equals + 1),
                          std::vector<std::string>{std::string(AmpKey), std::string(FreqKey),
                                                   std::string(XfadKey)});
        if (!key.empty()) {
            suggestion = "; did you mean " + key + std::string(text.substr(equals + 1)) + "?";
        }
    }
    if (!suggestion.empty()) {
        Error(field.Column, "unknown field " + Quote(text) + suggestion);
        return key;
    }
    std::vector<std::string_view> waves;
    for (const std::string_view name : WaveNames) {
        if (!name.empty()) waves.push_back(name);
    }
    waves.push_back("no waveform name");
    Error(field.Column, "unknown field " + Quote(text) + " (" + Alternatives(waves) + ", then " +
                            std::string(AmpKey) + "a and " + std::string(FreqKey) + "f)");
    return {};
}

void Assembler::Crossfade(const Field& field, LfoWord& word, bool afterAmpAndFreq) {
    const std::string_view value = std::string_view(field.Text).substr(XfadKey.size());
    const std::string key(XfadKey);
    if (word.Wave != WaveSaw) {
        Error(field.Column, key + " only with " + std::string(WaveNames[WaveSaw]));
    } else if (!afterAmpAndFreq) {
        Error(field.Column,
              key + " comes after " + std::string(AmpKey) + " and " + std::string(FreqKey));
    } else if (const std::optional<unsigned> xfad = FindName(value, XfadNames)) {
        word.Xfad = *xfad;
    } else {
        Error(field.Column, key + std::string(value) + " is not " + Alternatives(XfadNames));
    }
}

}  // namespace ixo::assembler
