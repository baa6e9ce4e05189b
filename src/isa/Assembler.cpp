#include "isa/Assembler.h"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <span>

#include "isa/Notation.h"
#include "isa/WordFields.h"
#include "project/ProgramImage.h"

namespace ixo {

namespace {

using namespace notation;

constexpr std::size_t MaxErrors = 20;
constexpr int MaxK = 127;
constexpr unsigned MaxAddress = 0xFFFF;
constexpr unsigned MaxAmp = 0x7FFF;
constexpr unsigned MaxFreq = 0x1FFF;
constexpr unsigned MaxChannel = 3;

// One field of a line and the column of its first character.
struct Field {
    std::string_view Text;
    int Column = 0;
};

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameName(std::string_view text, std::string_view name) {
    return text.size() == name.size() &&
           std::equal(text.begin(), text.end(), name.begin(),
                      [](char a, char b) { return Upper(a) == Upper(b); });
}

bool StartsWithName(std::string_view text, std::string_view name) {
    return text.size() >= name.size() && SameName(text.substr(0, name.size()), name);
}

// The index of the name text is, if it is one of names.
template <typename Names>
std::optional<unsigned> FindName(std::string_view text, const Names& names) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!names[i].empty() && SameName(text, names[i])) return static_cast<unsigned>(i);
    }
    return std::nullopt;
}

std::string Upper(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), [](char c) { return Upper(c); });
    return result;
}

// "A, B, C or D".
std::string Alternatives(std::span<const std::string_view> names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) text += i + 1 == names.size() ? " or " : ", ";
        text += names[i];
    }
    return text;
}

// A UTF-8 continuation byte does not start a character.
bool StartsCharacter(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
}

// A field in double quotes, cut short when it is long.
std::string Quote(std::string_view text) {
    constexpr std::size_t Longest = 24;
    if (text.size() <= Longest) return '"' + std::string(text) + '"';
    std::size_t cut = Longest;
    while (cut > 0 && !StartsCharacter(text[cut])) --cut;
    return '"' + std::string(text.substr(0, cut)) + "...\"";
}

// The fields before the comment, and the column just after the last one.
std::vector<Field> SplitFields(std::string_view line, int& endColumn) {
    std::vector<Field> fields;
    int column = 1;
    std::size_t start = std::string_view::npos;
    int startColumn = 0;
    for (std::size_t i = 0; i <= line.size(); ++i) {
        const bool end = i == line.size() || line[i] == CommentStart;
        const bool blank = !end && (line[i] == ' ' || line[i] == '\t');
        if ((end || blank) && start != std::string_view::npos) {
            fields.push_back({line.substr(start, i - start), startColumn});
            start = std::string_view::npos;
            endColumn = column;
        }
        if (end) break;
        if (!blank && start == std::string_view::npos) {
            start = i;
            startColumn = column;
        }
        if (StartsCharacter(line[i])) ++column;
    }
    if (fields.empty()) endColumn = 1;
    return fields;
}

// Decimal digits, with a leading "-" when negative is allowed. Values beyond any
// range are held at a bound so that they cannot overflow.
std::optional<long> ParseDecimal(std::string_view text, bool negative = false) {
    bool minus = false;
    if (negative && !text.empty() && text[0] == '-') {
        minus = true;
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = std::min(value * 10 + (c - '0'), 1'000'000'000L);
    }
    return minus ? -value : value;
}

// " (first to last)".
std::string Range(long first, long last) {
    return " (" + std::to_string(first) + " to " + std::to_string(last) + ")";
}

// Reads a source line by line, collecting words and errors.
class Assembler {
public:
    Assembly Run(std::string_view source) {
        int number = 0;
        while (!source.empty() && !full_) {
            const std::size_t end = source.find('\n');
            std::string_view line = source.substr(0, end);
            source.remove_prefix(end == std::string_view::npos ? source.size() : end + 1);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            line_ = ++number;
            Line(line);
        }
        if (!result_.Ok()) {
            result_.Words.clear();
            result_.Lines.clear();
        }
        return std::move(result_);
    }

private:
    void Error(int column, std::string message) {
        if (full_) return;
        if (result_.Errors.size() == MaxErrors) {
            message = "too many errors";
            full_ = true;
        }
        result_.Errors.push_back({line_, column, std::move(message)});
    }

    void Unexpected(const Field& field) {
        Error(field.Column, "unexpected " + Quote(field.Text) + " at the end of the line");
    }

    // A number field NAME=value in first to last; nullopt after an error.
    std::optional<long> Value(const Field& field, std::string_view key, long first, long last) {
        const std::string_view digits = field.Text.substr(key.size());
        const std::string shown = std::string(key) + std::string(digits);
        const std::string range = std::to_string(first) + " to " + std::to_string(last);
        const std::optional<long> value = ParseDecimal(digits, first < 0);
        if (!value) {
            Error(field.Column, Quote(shown) + " is not a number from " + range);
        } else if (*value < first || *value > last) {
            Error(field.Column, shown + " is outside " + range);
        } else {
            return value;
        }
        return std::nullopt;
    }

    // The n of a label such as LFOn or CHRn, 0 to last; nullopt after an error.
    std::optional<unsigned> LabelNumber(const Field& field, std::string_view label, unsigned last) {
        const std::string name(label);
        const std::string range = name + "0 to " + name + std::to_string(last);
        const std::optional<long> n = ParseDecimal(field.Text.substr(label.size()));
        if (!n) {
            Error(field.Column, "unknown label " + Quote(field.Text) + " (" + range + ")");
        } else if (*n > static_cast<long>(last)) {
            Error(field.Column, Upper(field.Text) + " is outside " + range);
        } else {
            return static_cast<unsigned>(*n);
        }
        return std::nullopt;
    }

    void Line(std::string_view text) {
        int endColumn = 1;
        const std::vector<Field> fields = SplitFields(text, endColumn);
        if (fields.empty()) return;
        ++wordCount_;
        result_.Lines.push_back(line_);
        if (wordCount_ == MaxProgramWords + 1) {
            Error(fields[0].Column, "more than " + std::to_string(MaxProgramWords) + " words");
        }
        if (StartsWithName(fields[0].Text, LfoLabel)) {
            LfoLine(fields, endColumn);
            return;
        }
        if (nextLfo_ < LfoWordCount) {
            Error(fields[0].Column, "an instruction where " + std::string(LfoLabel) +
                                        std::to_string(nextLfo_) + " was expected");
            nextLfo_ = LfoWordCount;
        }
        InstructionLine(fields, endColumn);
    }

    void LfoLine(std::span<const Field> fields, int endColumn) {
        const std::optional<unsigned> n = LabelNumber(fields[0], LfoLabel, LfoWordCount - 1);
        if (nextLfo_ >= LfoWordCount) {
            Error(fields[0].Column, Upper(fields[0].Text) + " where an instruction was expected");
        } else if (n && *n != static_cast<unsigned>(nextLfo_)) {
            Error(fields[0].Column, Upper(fields[0].Text) + " where " + std::string(LfoLabel) +
                                        std::to_string(nextLfo_) + " was expected");
            // Carry on from the line written, so that one slip is one error.
            nextLfo_ = static_cast<int>(*n);
        }
        ++nextLfo_;

        LfoWord word;
        word.Wave = 2;
        fields = fields.subspan(1);
        if (!fields.empty()) {
            if (const std::optional<unsigned> wave = FindName(fields[0].Text, WaveNames)) {
                word.Wave = *wave;
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
            } else {
                Error(field.Column, "unknown field " + Quote(field.Text) + " (" + LfoHelp() + ")");
            }
        }
        if (!amp) Error(endColumn, "missing " + std::string(AmpKey) + Range(0, MaxAmp));
        if (!freq) Error(endColumn, "missing " + std::string(FreqKey) + Range(0, MaxFreq));
        result_.Words.push_back(EncodeLfoWord(word));
    }

    // "SIN, TRI, SAW or none, then AMP=a and FREQ=f".
    static std::string LfoHelp() {
        std::vector<std::string_view> waves;
        for (const std::string_view name : WaveNames) {
            if (!name.empty()) waves.push_back(name);
        }
        waves.push_back("none");
        return Alternatives(waves) + ", then " + std::string(AmpKey) + "a and " +
               std::string(FreqKey) + "f";
    }

    void Crossfade(const Field& field, LfoWord& word, bool afterAmpAndFreq) {
        const std::string_view value = field.Text.substr(XfadKey.size());
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

    void InstructionLine(std::span<const Field> fields, int endColumn) {
        if (SameName(fields[0].Text, NopName)) {
            for (const Field& field : fields.subspan(1)) Unexpected(field);
            result_.Words.push_back(NopWord);
            return;
        }
        InstructionWord word;
        if (StartsWithName(fields[0].Text, ChrLabel)) {
            word.ChrForm = true;
            word.Channel = LabelNumber(fields[0], ChrLabel, MaxChannel).value_or(0);
            fields = fields.subspan(1);
        }
        if (fields.empty()) {
            Error(endColumn, "missing operation (" + OperationHelp() + ")");
        } else {
            const std::optional<bool> write = Operation(fields[0], word);
            fields = fields.subspan(1);
            if (fields.empty()) {
                Error(endColumn, "missing operand (" + OperandHelp() + ")");
            } else {
                Operand(fields[0], write, word);
                fields = fields.subspan(1);
                if (word.ChrForm) {
                    Modulation(fields, endColumn, word);
                } else {
                    Coefficient(fields, endColumn, word);
                }
            }
        }
        std::uint32_t encoded = EncodeInstructionWord(word);
        // A line other than NOP never becomes NOP: bit 18, not shown, tells them apart.
        if (encoded == NopWord) encoded |= 1u << 18;
        result_.Words.push_back(encoded);
    }

    static std::string OperationHelp() {
        return std::string(1, DirectionNames[0]) + " or " + DirectionNames[1] + ", then " +
               Alternatives(PointerNames) + ", then " + FlagBName + ", then " + FlagCName;
    }

    static std::string OperandHelp() {
        std::string text;
        for (const auto& names : {InputNames, OutputNames}) {
            for (const std::string_view name : names) text += std::string(name) + ", ";
        }
        text.replace(text.size() - 2, 2, " or an address 0 to ");
        return text + std::to_string(MaxAddress);
    }

    // R or W, a pointer, then B, then C, written together. The direction, unless
    // even that is wrong.
    std::optional<bool> Operation(const Field& field, InstructionWord& word) {
        const std::string_view text = field.Text;
        const char direction = Upper(text[0]);
        if (direction != DirectionNames[0] && direction != DirectionNames[1]) {
            Error(field.Column, "unknown operation " + Quote(text) + " (" + OperationHelp() + ")");
            return std::nullopt;
        }
        word.WriteFlag = direction == DirectionNames[1];
        const std::string_view pointer = text.substr(1, 2);
        if (const std::optional<unsigned> found = FindName(pointer, PointerNames)) {
            word.Pointer = *found;
        } else {
            Error(field.Column,
                  "unknown pointer " + Quote(pointer) + " (" + Alternatives(PointerNames) + ")");
            return word.WriteFlag;
        }
        std::string_view flags = text.substr(std::min<std::size_t>(3, text.size()));
        if (!flags.empty() && Upper(flags[0]) == FlagBName) {
            word.FlagB = true;
            flags.remove_prefix(1);
        }
        if (!flags.empty() && Upper(flags[0]) == FlagCName) {
            word.FlagC = true;
            flags.remove_prefix(1);
        }
        if (!flags.empty()) {
            Error(field.Column, "unknown flags " + Quote(text.substr(3)) + " after " +
                                    Upper(text.substr(0, 3)) + " (" + FlagBName + ", then " +
                                    FlagCName + ")");
        }
        return word.WriteFlag;
    }

    void Operand(const Field& field, std::optional<bool> write, InstructionWord& word) {
        const std::optional<unsigned> input = FindName(field.Text, InputNames);
        const std::optional<unsigned> output = FindName(field.Text, OutputNames);
        if (input || output) {
            word.Address = input ? *input : *output;
            const std::string name = Upper(field.Text);
            if (write == true && input) {
                Error(field.Column, name + " is an input: use it with " + DirectionNames[0]);
            } else if (write == false && output) {
                Error(field.Column, name + " is an output: use it with " + DirectionNames[1]);
            }
            return;
        }
        const std::optional<long> address = ParseDecimal(field.Text);
        if (!address) {
            Error(field.Column,
                  "unknown operand " + Quote(field.Text) + " (" + OperandHelp() + ")");
        } else if (*address > static_cast<long>(MaxAddress)) {
            Error(field.Column, "address " + std::string(field.Text) + " is outside 0 to " +
                                    std::to_string(MaxAddress));
        } else {
            word.Address = static_cast<unsigned>(*address);
        }
    }

    void Coefficient(std::span<const Field> fields, int endColumn, InstructionWord& word) {
        const std::string key(CoefficientKey);
        if (fields.empty()) {
            Error(endColumn, "missing " + key + "k" + Range(-MaxK, MaxK));
            return;
        }
        if (!StartsWithName(fields[0].Text, CoefficientKey)) {
            Error(fields[0].Column, Quote(fields[0].Text) + " where " + key + "k was expected");
        } else {
            word.K = static_cast<int>(Value(fields[0], CoefficientKey, -MaxK, MaxK).value_or(0));
        }
        for (const Field& field : fields.subspan(1)) Unexpected(field);
    }

    static std::string ModulationHelp() {
        std::vector<std::string> names;
        for (const char sign : SignNames) {
            for (const std::string_view name : ModulationNames)
                names.push_back(sign + std::string(name));
        }
        return Alternatives(std::vector<std::string_view>(names.begin(), names.end()));
    }

    void Modulation(std::span<const Field> fields, int endColumn, InstructionWord& word) {
        if (fields.empty()) {
            Error(endColumn, "missing " + ModulationHelp());
            return;
        }
        const std::string_view text = fields[0].Text;
        const std::optional<unsigned> cos = FindName(text.substr(1), ModulationNames);
        if ((text[0] != SignNames[0] && text[0] != SignNames[1]) || !cos) {
            Error(fields[0].Column,
                  "unknown modulation " + Quote(text) + " (" + ModulationHelp() + ")");
        }
        word.Sign = text[0] == SignNames[1];
        word.Cos = cos.value_or(0) == 1;
        for (const ChrOption& option : ChrOptions) word.*option.Field = option.ActiveLow;
        std::vector<bool> named(ChrOptions.size());
        for (const Field& field : fields.subspan(1)) {
            const auto option = std::find_if(
                ChrOptions.begin(), ChrOptions.end(),
                [&](const ChrOption& each) { return SameName(field.Text, each.Name); });
            if (option == ChrOptions.end()) {
                std::vector<std::string_view> names;
                for (const ChrOption& each : ChrOptions) names.push_back(each.Name);
                Error(field.Column,
                      "unknown option " + Quote(field.Text) + " (" + Alternatives(names) + ")");
                continue;
            }
            const std::size_t index = static_cast<std::size_t>(option - ChrOptions.begin());
            if (named[index]) Error(field.Column, std::string(option->Name) + " given twice");
            named[index] = true;
            word.*option->Field = !option->ActiveLow;
        }
    }

    Assembly result_;
    int line_ = 0;
    int wordCount_ = 0;
    int nextLfo_ = 0;
    bool full_ = false;
};

}  // namespace

Assembly AssembleListing(std::string_view source) {
    return Assembler().Run(source);
}

}  // namespace ixo
