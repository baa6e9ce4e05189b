#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "isa/AsmLines.h"
#include "isa/Assembler.h"
#include "isa/WordFields.h"

// The assembler's parser, whose parts live by seam: the driver and the field values
// in Assembler.cpp, a line's fields in AsmLines.cpp, the LFO lines in AsmLfoLines.cpp,
// the instructions in AsmInstructions.cpp.

namespace ixo::assembler {

// Reads a source line by line, collecting words and errors.
class Assembler {
public:
    Assembly Run(std::string_view source);

private:
    // The driver and the field values (Assembler.cpp), a line's fields (AsmLines.cpp).
    void Error(int column, std::string message);
    void Unexpected(const Field& field);
    // The fields before the comment, and the column just after the last one. Fields
    // joined by a blank to a "=" are taken as one, after one error.
    std::vector<Field> SplitFields(std::string_view line, int& endColumn);
    // Adds field to fields, or joins it to the last one across a blank around "=".
    void Take(std::vector<Field>& fields, Field field);
    // A number field NAME=value in first to last; nullopt after an error.
    std::optional<long> Value(const Field& field, std::string_view key, long first, long last);
    // The n of a label such as LFOn or CHRn, 0 to last; nullopt after an error.
    std::optional<unsigned> LabelNumber(const Field& field, std::string_view label, unsigned last);
    void Line(std::string_view text);

    // LFO lines (AsmLfoLines.cpp).
    // Whether a later LFO line of the LFO lines that follow this one is LFOn.
    bool LfoLineFollows(unsigned n) const;
    // The order of the LFO lines: one slip, one error. A line that comes early is the
    // slip; the lines it was put before are then taken without more said.
    void LfoOrder(const Field& label, std::optional<unsigned> n);
    void LfoLine(std::span<const Field> fields, int endColumn);
    // A field of an LFO line that is none: the name it may have meant, or what may stand
    // there. The key it was taken for, if any.
    std::string UnknownLfoField(const Field& field);
    void Crossfade(const Field& field, LfoWord& word, bool afterAmpAndFreq);

    // Instructions (AsmInstructions.cpp).
    void InstructionLine(std::span<const Field> fields, int endColumn);
    // R or W, a pointer, then B, then C, written together. The direction, unless
    // even that is wrong.
    std::optional<bool> Operation(const Field& field, InstructionWord& word);
    void Operand(const Field& field, std::optional<bool> write, InstructionWord& word);
    void Coefficient(std::span<const Field> fields, int endColumn, InstructionWord& word);
    void Modulation(std::span<const Field> fields, int endColumn, InstructionWord& word);

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

}  // namespace ixo::assembler
