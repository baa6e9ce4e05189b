#include "isa/Assembler.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <optional>
#include <span>

#include "core/NearestName.h"
#include "core/ShownText.h"
#include "isa/Notation.h"
#include "isa/WordBits.h"
#include "isa/WordFields.h"

namespace ixo {

namespace {

using namespace notation;

constexpr std::size_t MaxErrors = 20;
// The largest value of each field, as wide as the word gives it.
constexpr int MaxK = static_cast<int>(bits::KMag.Max());
constexpr unsigned MaxAddress = bits::AddressBits.Max();
constexpr unsigned MaxAmp = bits::LfoAmp.Max();
constexpr unsigned MaxFreq = bits::LfoFreq.Max();
constexpr unsigned MaxChannel = bits::ChannelBits.Max();
constexpr int TabStop = 8;

// One field of a line and the column of its first character. Fields written with
// spaces around "=" are joined, so a field's text need not stand in the line as it is.
struct Field {
    std::string Text;
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
template <typename Names>
std::string Alternatives(const Names& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) text += i + 1 == names.size() ? " or " : ", ";
        text += names[i];
    }
    return text;
}

// "; did you mean NAME?" with the name of names that typed most likely meant, or empty.
template <typename Names>
std::string DidYouMean(std::string_view typed, const Names& names) {
    const std::string nearest =
        NearestName(typed, std::vector<std::string>(names.begin(), names.end()));
    return nearest.empty() ? std::string() : "; did you mean " + nearest + "?";
}

// A UTF-8 continuation byte does not start a character.
bool StartsCharacter(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
}

int Characters(std::string_view text) {
    return static_cast<int>(std::count_if(text.begin(), text.end(), StartsCharacter));
}

// A field in double quotes, cut short when it is long.
std::string Quote(std::string_view text) {
    constexpr std::size_t Longest = 24;
    if (text.size() <= Longest) return '"' + std::string(text) + '"';
    std::size_t cut = Longest;
    while (cut > 0 && !StartsCharacter(text[cut])) --cut;
    return '"' + std::string(text.substr(0, cut)) + "...\"";
}

// The lines of a source, without their line ends and without a byte order mark.
std::vector<std::string_view> SourceLines(std::string_view source) {
    constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";
    if (source.starts_with(ByteOrderMark)) source.remove_prefix(ByteOrderMark.size());
    std::vector<std::string_view> lines;
    while (!source.empty()) {
        const std::size_t end = source.find('\n');
        std::string_view line = source.substr(0, end);
        source.remove_prefix(end == std::string_view::npos ? source.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
    }
    return lines;
}

bool Blank(char c) {
    return c == ' ' || c == '\t';
}

// What other assemblers start comments with.
bool ForeignComment(std::string_view field) {
    return field.starts_with('#') || field.starts_with("//");
}

// The first field of a line, as written.
std::string_view FirstField(std::string_view line) {
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string_view::npos || line[start] == CommentStart) return {};
    const std::size_t end = line.find_first_of(" \t;", start);
    return line.substr(start, end == std::string_view::npos ? line.npos : end - start);
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

// The value of a hexadecimal number written 0x..., for the hint that numbers are
// decimal.
std::optional<long> ParseHex(std::string_view text) {
    if (text.size() < 3 || text[0] != '0' || Upper(text[1]) != 'X' || text.size() > 10) {
        return std::nullopt;
    }
    long value = 0;
    for (const char c : text.substr(2)) {
        const char u = Upper(c);
        if (u >= '0' && u <= '9') {
            value = value * 16 + (u - '0');
        } else if (u >= 'A' && u <= 'F') {
            value = value * 16 + (u - 'A' + 10);
        } else {
            return std::nullopt;
        }
    }
    return value;
}

// ": WHAT are decimal, 0x10 is 16" for a number written in hexadecimal, else empty.
std::string DecimalHint(std::string_view text, std::string_view what) {
    const std::optional<long> value = ParseHex(text);
    if (!value) return {};
    return ": " + std::string(what) + " are decimal, " + std::string(text) + " is " +
           std::to_string(*value);
}

// A fraction such as 0.5 or -0,25 (the listing's comment writes the user's decimal
// separator), as a coefficient's value.
std::optional<double> ParseFraction(std::string_view text) {
    bool minus = false;
    if (!text.empty() && text[0] == '-') {
        minus = true;
        text.remove_prefix(1);
    }
    const std::size_t separator = text.find_first_of(".,");
    if (separator == std::string_view::npos || text.size() == 1) return std::nullopt;
    double value = 0;
    double scale = 1;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i == separator) continue;
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        if (i > separator) scale /= 10;
        value = i < separator ? value * 10 + (text[i] - '0') : value + (text[i] - '0') * scale;
        if (value > 1e6) return std::nullopt;
    }
    return minus ? -value : value;
}

// " (first to last)".
std::string Range(long first, long last) {
    return " (" + std::to_string(first) + " to " + std::to_string(last) + ")";
}

// The display column, from 1, of the character at column (characters from 1, a tab
// one) of line, with tab stops every TabStop columns.
int DisplayColumn(std::string_view line, int column) {
    int display = 0;
    int characters = 0;
    for (const char c : line) {
        if (!StartsCharacter(c)) continue;
        if (++characters == column) break;
        display = c == '\t' ? (display / TabStop + 1) * TabStop : display + 1;
    }
    // A column past the end stands that many characters after it.
    if (characters < column) display += column - 1 - characters;
    return display + 1;
}

// The line with its tabs expanded to the next tab stop.
std::string ExpandTabs(std::string_view line) {
    std::string expanded;
    int display = 0;
    for (const char c : line) {
        if (c == '\t') {
            const int next = (display / TabStop + 1) * TabStop;
            expanded.append(static_cast<std::size_t>(next - display), ' ');
            display = next;
            continue;
        }
        expanded += c;
        if (StartsCharacter(c)) ++display;
    }
    return expanded;
}

// The text with each control character as "?", so that a source line cannot send a
// terminal its own commands through an error, while its columns stay where they were.
std::string Printable(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    return text;
}

// Every operation: R or W, a pointer, then B, then C when they are there.
std::vector<std::string> OperationNames() {
    std::vector<std::string> names;
    for (const char direction : DirectionNames) {
        for (const std::string_view pointer : PointerNames) {
            const std::string name = direction + std::string(pointer);
            for (const std::string_view flags : {"", "B", "C", "BC"}) {
                names.push_back(name + std::string(flags));
            }
        }
    }
    return names;
}

bool IsOperation(std::string_view text) {
    static const std::vector<std::string> names = OperationNames();
    return std::any_of(names.begin(), names.end(),
                       [text](const std::string& name) { return SameName(text, name); });
}

std::optional<unsigned> LfoLabelNumber(std::string_view field) {
    if (!StartsWithName(field, LfoLabel)) return std::nullopt;
    const std::optional<long> n = ParseDecimal(field.substr(LfoLabel.size()));
    if (!n || *n >= LfoWordCount) return std::nullopt;
    return static_cast<unsigned>(*n);
}

std::string LfoName(int n) {
    return std::string(LfoLabel) + std::to_string(n);
}

// Reads a source line by line, collecting words and errors.
class Assembler {
public:
    Assembly Run(std::string_view source) {
        lines_ = SourceLines(source);
        for (std::size_t i = 0; i < lines_.size() && !full_; ++i) {
            line_ = static_cast<int>(i) + 1;
            const std::size_t first = result_.Errors.size();
            Line(lines_[i]);
            // A line's errors from left to right, "too many errors" staying last.
            const auto end = result_.Errors.end() - (full_ ? 1 : 0);
            std::stable_sort(
                result_.Errors.begin() + static_cast<std::ptrdiff_t>(first), end,
                [](const AsmError& a, const AsmError& b) { return a.Column < b.Column; });
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

    // The fields before the comment, and the column just after the last one. Fields
    // joined by a blank to a "=" are taken as one, after one error.
    std::vector<Field> SplitFields(std::string_view line, int& endColumn) {
        std::vector<Field> fields;
        int column = 1;
        std::size_t start = std::string_view::npos;
        int startColumn = 0;
        for (std::size_t i = 0; i <= line.size(); ++i) {
            const bool end = i == line.size() || line[i] == CommentStart;
            const bool blank = !end && Blank(line[i]);
            if ((end || blank) && start != std::string_view::npos) {
                const std::string_view text = line.substr(start, i - start);
                if (ForeignComment(text)) {
                    Error(startColumn, "unexpected " +
                                           Quote(text.substr(0, text[0] == '#' ? 1 : 2)) +
                                           ": comments start with " + CommentStart);
                    break;
                }
                Take(fields, {std::string(text), startColumn});
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

    // Adds field to fields, or joins it to the last one across a blank around "=".
    void Take(std::vector<Field>& fields, Field field) {
        if (fields.empty()) {
            fields.push_back(std::move(field));
            joined_ = false;
            return;
        }
        Field& last = fields.back();
        const bool after = last.Text.ends_with('=');
        if (!after && !field.Text.starts_with('=')) {
            fields.push_back(std::move(field));
            joined_ = false;
            return;
        }
        if (!joined_) {
            Error(after ? last.Column + Characters(last.Text) - 1 : field.Column,
                  "no spaces around =");
        }
        joined_ = true;
        last.Text += field.Text;
    }

    // A number field NAME=value in first to last; nullopt after an error.
    std::optional<long> Value(const Field& field, std::string_view key, long first, long last) {
        const std::string_view digits = std::string_view(field.Text).substr(key.size());
        const std::string shown = std::string(key) + std::string(digits);
        const std::string range = std::to_string(first) + " to " + std::to_string(last);
        const std::optional<long> value = ParseDecimal(digits, first < 0);
        if (!value) {
            const std::string hint = DecimalHint(digits, "numbers");
            Error(field.Column,
                  hint.empty() ? Quote(shown) + " is not a number from " + range : shown + hint);
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
        const std::optional<long> n =
            ParseDecimal(std::string_view(field.Text).substr(label.size()));
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
        std::vector<Field> fields = SplitFields(text, endColumn);
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
            Error(fields[0].Column, "an instruction where " + LfoName(nextLfo_) + " was expected");
            nextLfo_ = LfoWordCount;
        }
        InstructionLine(fields, endColumn);
    }

    // Whether a later LFO line of the LFO lines that follow this one is LFOn.
    bool LfoLineFollows(unsigned n) const {
        for (std::size_t i = static_cast<std::size_t>(line_); i < lines_.size(); ++i) {
            const std::string_view first = FirstField(lines_[i]);
            if (first.empty()) continue;
            if (!StartsWithName(first, LfoLabel)) return false;
            if (LfoLabelNumber(first) == n) return true;
        }
        return false;
    }

    // The order of the LFO lines: one slip, one error. A line that comes early is the
    // slip; the lines it was put before are then taken without more said.
    void LfoOrder(const Field& label, std::optional<unsigned> n) {
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
            Error(label.Column, name + " before " + LfoName(nextLfo_) +
                                    " (the LFO lines go in order, LFO0 to LFO3)");
        } else {
            Error(label.Column, name + " where " + LfoName(nextLfo_) + " was expected");
        }
        lfoOrderTold_ = true;
        nextLfo_ = static_cast<int>(*n) + 1;
    }

    void LfoLine(std::span<const Field> fields, int endColumn) {
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
                                        : Upper(field.Text) + " comes before " +
                                              std::string(AmpKey) + " and " + std::string(FreqKey));
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

    // A field of an LFO line that is none: the name it may have meant, or what may stand
    // there. The key it was taken for, if any.
    std::string UnknownLfoField(const Field& field) {
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
        Error(field.Column, "unknown field " + Quote(text) + " (" + Alternatives(waves) +
                                ", then " + std::string(AmpKey) + "a and " + std::string(FreqKey) +
                                "f)");
        return {};
    }

    void Crossfade(const Field& field, LfoWord& word, bool afterAmpAndFreq) {
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
        } else if (fields.size() > 1 && !IsOperation(fields[0].Text) &&
                   IsOperation(fields[1].Text)) {
            // A label as other assemblers have them; the line is read without it.
            Error(fields[0].Column, "unknown label " + Quote(fields[0].Text) + ": only " +
                                        std::string(ChrLabel) + "0 to " + std::string(ChrLabel) +
                                        std::to_string(MaxChannel) + " stand before the operation");
            fields = fields.subspan(1);
        }
        // A field left out is missing where the next one stands, and that one is read
        // in its own place: one slip, one error.
        std::optional<bool> write;
        bool ended = false;
        if (fields.empty() || IsOperand(fields[0].Text)) {
            ended = fields.empty();
            Error(ended ? endColumn : fields[0].Column,
                  "missing operation (" + OperationHelp() + ")");
        } else {
            write = Operation(fields[0], word);
            fields = fields.subspan(1);
        }
        if (!ended && (fields.empty() || StartsRest(fields[0].Text, word.ChrForm))) {
            ended = fields.empty();
            Error(ended ? endColumn : fields[0].Column, "missing operand (" + OperandHelp() + ")");
        } else if (!ended) {
            Operand(fields[0], write, word);
            fields = fields.subspan(1);
        }
        if (!ended && word.ChrForm) {
            Modulation(fields, endColumn, word);
        } else if (!ended) {
            Coefficient(fields, endColumn, word);
        }
        std::uint32_t encoded = EncodeInstructionWord(word);
        // A line other than NOP never becomes NOP.
        if (encoded == NopWord) encoded |= bits::NotNopBit;
        result_.Words.push_back(encoded);
    }

    // Whether text can only be an operand.
    static bool IsOperand(std::string_view text) {
        return FindName(text, InputNames) || FindName(text, OutputNames) || ParseDecimal(text);
    }

    // Whether text starts what follows the operand: K= in the coefficient form, the
    // modulation's sign in the CHR form.
    static bool StartsRest(std::string_view text, bool chrForm) {
        return chrForm ? text[0] == SignNames[0] || text[0] == SignNames[1]
                       : StartsWithName(text, CoefficientKey);
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
        const bool known = direction == DirectionNames[0] || direction == DirectionNames[1];
        if (!IsOperation(text)) {
            // The operation it was most likely meant to be says the most.
            const std::string suggestion = DidYouMean(text, OperationNames());
            if (!suggestion.empty()) {
                Error(field.Column, "unknown operation " + Quote(text) + suggestion);
                return known ? std::optional<bool>(direction == DirectionNames[1]) : std::nullopt;
            }
        }
        if (!known) {
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
        if (address && *address > static_cast<long>(MaxAddress)) {
            Error(field.Column,
                  "address " + field.Text + " is outside 0 to " + std::to_string(MaxAddress));
        } else if (address) {
            word.Address = static_cast<unsigned>(*address);
        } else {
            // Only the names that go with the operation are offered.
            std::vector<std::string_view> names(InputNames.begin(), InputNames.end());
            if (write != false) names.assign(OutputNames.begin(), OutputNames.end());
            if (!write) names.insert(names.end(), InputNames.begin(), InputNames.end());
            std::string hint = DecimalHint(field.Text, "addresses");
            if (hint.empty()) hint = DidYouMean(field.Text, names);
            if (hint.empty()) hint = " (" + OperandHelp() + ")";
            Error(field.Column, "unknown operand " + Quote(field.Text) + hint);
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
        } else if (const std::optional<double> value =
                       ParseFraction(std::string_view(fields[0].Text).substr(key.size()))) {
            // The value K stands for, written in its place.
            std::string hint = "K is -127 to 127, worth K/127";
            if (std::abs(*value) <= 1) {
                hint += ": " + fields[0].Text.substr(key.size()) + " is " + key +
                        std::to_string(static_cast<int>(std::lround(*value * MaxK)));
            }
            Error(fields[0].Column, Upper(fields[0].Text) + ": " + hint);
        } else {
            word.K = static_cast<int>(Value(fields[0], CoefficientKey, -MaxK, MaxK).value_or(0));
        }
        for (const Field& field : fields.subspan(1)) Unexpected(field);
    }

    static std::vector<std::string> ModulationNames() {
        std::vector<std::string> names;
        for (const char sign : SignNames) {
            for (const std::string_view name : notation::ModulationNames)
                names.push_back(sign + std::string(name));
        }
        return names;
    }

    void Modulation(std::span<const Field> fields, int endColumn, InstructionWord& word) {
        if (fields.empty()) {
            Error(endColumn, "missing " + Alternatives(ModulationNames()));
            return;
        }
        const std::string_view text = fields[0].Text;
        const std::optional<unsigned> cos = FindName(text.substr(1), notation::ModulationNames);
        if ((text[0] != SignNames[0] && text[0] != SignNames[1]) || !cos) {
            std::string hint = DidYouMean(text, ModulationNames());
            if (hint.empty()) hint = " (" + Alternatives(ModulationNames()) + ")";
            Error(fields[0].Column, "unknown modulation " + Quote(text) + hint);
        }
        word.Sign = text[0] == SignNames[1];
        word.Cos = cos.value_or(0) == 1;
        for (const ChrOption& option : ChrOptions) word.*option.Field = option.ActiveLow;
        std::vector<bool> named(ChrOptions.size());
        std::vector<std::string_view> names;
        for (const ChrOption& each : ChrOptions) names.push_back(each.Name);
        for (const Field& field : fields.subspan(1)) {
            const auto option = std::find_if(
                ChrOptions.begin(), ChrOptions.end(),
                [&](const ChrOption& each) { return SameName(field.Text, each.Name); });
            if (option == ChrOptions.end()) {
                std::string hint = DidYouMean(field.Text, names);
                if (hint.empty()) hint = " (" + Alternatives(names) + ")";
                Error(field.Column, "unknown option " + Quote(field.Text) + hint);
                continue;
            }
            const std::size_t index = static_cast<std::size_t>(option - ChrOptions.begin());
            if (named[index]) Error(field.Column, std::string(option->Name) + " given twice");
            named[index] = true;
            word.*option->Field = !option->ActiveLow;
        }
    }

    std::vector<std::string_view> lines_;
    Assembly result_;
    int line_ = 0;
    int wordCount_ = 0;
    int nextLfo_ = 0;
    bool seenLfo_[LfoWordCount] = {};
    bool lfoOrderTold_ = false;  // an error about the LFO lines' order was given
    bool joined_ = false;        // the last field was joined across a blank around "="
    bool full_ = false;
};

}  // namespace

Assembly AssembleListing(std::string_view source) {
    return Assembler().Run(source);
}

std::string FormatAsmErrors(std::string_view name, std::string_view source,
                            const std::vector<AsmError>& errors) {
    const std::vector<std::string_view> lines = SourceLines(source);
    std::string text;
    for (const AsmError& error : errors) {
        const std::string_view line =
            error.Line >= 1 && static_cast<std::size_t>(error.Line) <= lines.size()
                ? lines[static_cast<std::size_t>(error.Line) - 1]
                : std::string_view();
        const int column = DisplayColumn(line, error.Column);
        // The line number in a margin of at least five columns, as GCC writes it.
        std::string number = std::to_string(error.Line);
        const std::size_t margin = std::max<std::size_t>(5, number.size());
        number.insert(0, margin - number.size(), ' ');
        text += std::string(name) + ":" + std::to_string(error.Line) + ":" +
                std::to_string(column) + ": error: " + EscapeControls(error.Message) + "\n";
        text += number + " | " + Printable(ExpandTabs(line)) + "\n";
        text += std::string(margin, ' ') + " | " +
                std::string(static_cast<std::size_t>(column - 1), ' ') + "^\n";
    }
    return text;
}

}  // namespace ixo
