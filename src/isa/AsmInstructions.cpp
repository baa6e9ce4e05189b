#include <algorithm>
#include <cmath>
#include <cstddef>

#include "isa/AsmNames.h"
#include "isa/AsmParser.h"
#include "isa/Notation.h"
#include "isa/WordBits.h"

namespace ixo::assembler {

using namespace notation;

namespace {

// The largest value of each field, as wide as the word gives it.
constexpr int MaxK = static_cast<int>(bits::KMag.Max());
constexpr unsigned MaxAddress = bits::AddressBits.Max();
constexpr unsigned MaxChannel = bits::ChannelBits.Max();

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

// Whether text can only be an operand.
bool IsOperand(std::string_view text) {
    return FindName(text, InputNames) || FindName(text, OutputNames) || ParseDecimal(text);
}

// Whether text starts what follows the operand: K= in the coefficient form, the
// modulation's sign in the CHR form.
bool StartsRest(std::string_view text, bool chrForm) {
    return chrForm ? text[0] == SignNames[0] || text[0] == SignNames[1]
                   : StartsWithName(text, CoefficientKey);
}

std::string OperationHelp() {
    return std::string(1, DirectionNames[0]) + " or " + DirectionNames[1] + ", then " +
           Alternatives(PointerNames) + ", then " + FlagBName + ", then " + FlagCName;
}

std::string OperandHelp() {
    std::string text;
    for (const auto& names : {InputNames, OutputNames}) {
        for (const std::string_view name : names) text += std::string(name) + ", ";
    }
    text.replace(text.size() - 2, 2, " or an address 0 to ");
    return text + std::to_string(MaxAddress);
}

std::vector<std::string> ModulationNames() {
    std::vector<std::string> names;
    for (const char sign : SignNames) {
        for (const std::string_view name : notation::ModulationNames)
            names.push_back(sign + std::string(name));
    }
    return names;
}

}  // namespace

void Assembler::InstructionLine(std::span<const Field> fields, int endColumn) {
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
    } else if (fields.size() > 1 && !IsOperation(fields[0].Text) && IsOperation(fields[1].Text)) {
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
        Error(ended ? endColumn : fields[0].Column, "missing operation (" + OperationHelp() + ")");
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

std::optional<bool> Assembler::Operation(const Field& field, InstructionWord& word) {
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

void Assembler::Operand(const Field& field, std::optional<bool> write, InstructionWord& word) {
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

void Assembler::Coefficient(std::span<const Field> fields, int endColumn, InstructionWord& word) {
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

void Assembler::Modulation(std::span<const Field> fields, int endColumn, InstructionWord& word) {
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
        const auto option =
            std::find_if(ChrOptions.begin(), ChrOptions.end(),
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

}  // namespace ixo::assembler
