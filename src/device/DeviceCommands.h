#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "core/Failure.h"
#include "device/Protocol.h"
#include "project/ProgramImage.h"

namespace ixo {

class ComPort;

// Scratch bytes in which the commands build what they send and receive.
inline constexpr int TransferBufferSize = 4096;
using TransferBytes = std::array<std::uint8_t, TransferBufferSize>;

// The device commands, shared by the window and the ixo command. Each one first
// looks at the link: a closed link is PortNotOpened, and no byte moves. A send that
// does not go out in full is CantWriteToPort, with the link's reason; an answer of
// fewer than 8 bytes is NoResponse at that address. Nothing is retried.

// Sends one of the one-byte commands (CmdProgDisable, CmdProgEnable, CmdSelectInternal + n).
MaybeFailure SendCommandByte(ComPort& link, std::uint8_t command);

// One read exchange: discards stale input, sends the request, takes the 8-byte answer.
MaybeFailure ReadDeviceWord(ComPort& link, int address, TransferBytes& buffer, std::uint32_t& word);

// Writes the program: with a program loaded, fills Words WordCount..127 with NopWord
// (the image itself changes; WordCount does not), then sends the 128 write frames as
// one 1408-byte block after discarding stale input. No answer is awaited, but the
// write returns only once the block's line time has passed, when the device has
// taken it all. EmptyProject when no program is loaded.
MaybeFailure WriteProgram(ComPort& link, ProgramImage& image, TransferBytes& buffer);

// Replaces the program with the device's: Words 0..128 (128 is the CW word) and
// WordCount 128. The image changes only when all 129 words have arrived and the
// device is found in step with the requests: bytes it sends beyond its answers
// (found before each exchange; only the first is preceded by a purge) are
// SentMoreThanAsked; after the last word, address 0 is read again, and another word
// there, or bytes that follow it within the longest time between two requests of
// the read, are OutOfStep. Either way the answers may not be the words asked for.
MaybeFailure ReadProgram(ComPort& link, ProgramImage& image, TransferBytes& buffer);

// The read requests of a whole read (ReadProgram, VerifyProgram): every device
// address, then address 0 again.
inline constexpr int ReadBackRequests = DeviceWordCount + 1;

// The 128 words a device holds after a write of image: the program, then NopWord.
std::array<std::uint32_t, MaxProgramWords> ProgramAsWritten(const ProgramImage& image);

struct WordDifference {
    int Address;
    std::uint32_t Program;
    std::uint32_t Device;
};

// Addresses 0..127 where deviceWords differ from the program as written.
std::vector<WordDifference> CompareWithDevice(
    const ProgramImage& image, std::span<const std::uint32_t, MaxProgramWords> deviceWords);

// Reads the device into ReadBackWords, as ReadProgram reads, and compares addresses
// 0..127 with the program as written; the CW word is not compared and the program
// words are not changed.
// VerifyFail names the first difference; CompareWithDevice on ReadBackWords gives all.
MaybeFailure VerifyProgram(ComPort& link, ProgramImage& image, TransferBytes& buffer);

// The programs a device can run, in the order of the window's list: "Ext" (the
// loaded program), then the 16 built-in ones.
inline constexpr int ProgramChoiceCount = 17;
const std::array<std::string_view, ProgramChoiceCount>& ProgramChoices();

// The command byte that makes the device run choice 0..16: CmdProgEnable for "Ext",
// CmdSelectInternal + (choice - 1) for a built-in program.
std::uint8_t ProgramChoiceCommand(int choice);

// The choice named by text: a name of ProgramChoices (any case) or its index 0..16.
std::optional<int> FindProgramChoice(std::string_view text);

}  // namespace ixo
