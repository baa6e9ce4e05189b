#include "device/DeviceCommands.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>

#include "isa/WordFields.h"
#include "link/Comport.h"

namespace ixo {

namespace {

// How long count bytes take on the line at baudRate bit/s: 10 bits a byte (start
// bit, 8 data bits, stop bit), rounded up to whole microseconds.
std::chrono::microseconds LineTime(int count, std::int32_t baudRate) {
    const std::int64_t bits = std::int64_t{count} * 10;
    return std::chrono::microseconds((bits * 1000000 + baudRate - 1) / baudRate);
}

}  // namespace

MaybeFailure SendCommandByte(ComPort& link, std::uint8_t command) {
    if (!link.IsOpen()) return PortNotOpened();
    if (link.Send(&command, 1, true) != 1) return CantWriteToPort(link.TransferError());
    return std::nullopt;
}

namespace {

// The request for address and its 8-byte answer, on an open link.
MaybeFailure Exchange(ComPort& link, int address, TransferBytes& buffer, std::uint32_t& word) {
    const FetchRequest request = EncodeFetchRequest(address);
    std::copy(request.begin(), request.end(), buffer.begin());
    if (link.Send(buffer.data(), FetchRequestLength, true) != FetchRequestLength) {
        return CantWriteToPort(link.TransferError());
    }
    if (link.Receive(buffer.data(), ReplyLength) != ReplyLength) {
        return NoResponseAt(address);
    }
    word = DecodeReplyWord(std::span(buffer).first<ReplyLength>());
    return std::nullopt;
}

}  // namespace

MaybeFailure ReadDeviceWord(ComPort& link, int address, TransferBytes& buffer,
                            std::uint32_t& word) {
    if (!link.IsOpen()) return PortNotOpened();
    link.Purge(1);
    return Exchange(link, address, buffer, word);
}

MaybeFailure WriteProgram(ComPort& link, ProgramImage& image, TransferBytes& buffer) {
    if (!link.IsOpen()) return PortNotOpened();
    if (image.IsEmpty()) return EmptyProject();
    std::fill(image.Words.begin() + image.WordCount, image.Words.begin() + MaxProgramWords,
              NopWord);
    for (int address = 0; address < MaxProgramWords; ++address) {
        const WriteFrame frame = EncodeWriteFrame(image.Words[address], address);
        std::copy(frame.begin(), frame.end(), buffer.begin() + address * WriteFrameLength);
    }
    link.Purge(1);
    const auto sendBegan = std::chrono::steady_clock::now();
    if (link.Send(buffer.data(), ProgramBlockLength, true) != ProgramBlockLength) {
        return CantWriteToPort(link.TransferError());
    }
    // A pseudo-terminal, or a USB adapter with a buffer of its own, reports the
    // transmitter empty while the bytes are still on their way, and the device
    // answers nothing before it has taken all of them: the write is done once their
    // line time has passed since the send began, so that a read-back can follow. A
    // device that goes away meanwhile has not taken them all.
    const auto left = sendBegan + LineTime(ProgramBlockLength, link.BaudRate()) -
                      std::chrono::steady_clock::now();
    if (!link.Pause(std::chrono::ceil<std::chrono::milliseconds>(left))) {
        return CantWriteToPort(link.TransferError());
    }
    return std::nullopt;
}

namespace {

// Reads device addresses 0..128 into words, stopping at the first failure, and then
// makes sure that every answer was the one asked for.
//
// Nothing on the line says which request an answer belongs to: the read takes the
// first 8 bytes that come after it asked. A device that sends an answer twice, or
// late, falls behind: the copy or the late answer comes after the next request went
// out and is taken as that request's answer. From then on each word taken is the
// word of an address asked for earlier (k >= 1 exchanges behind), and the device
// still owes k answers when the last one has been taken. Three checks fail such a
// read:
//
// 1. Only the first request is preceded by a purge, of what came before the read.
//    Before every later one, whatever has arrived unasked fails the read
//    (SentMoreThanAsked), and there is nothing to purge: a purge could only drop,
//    unseen, a byte that came just after the look. So no byte of the device's is
//    lost, and a device that is behind stays behind: it cannot catch up without
//    sending fewer answers than it was asked for.
// 2. A closing exchange asks for address 0 again. Its word is known: it was the first
//    answer of the read, which nothing earlier of this read can have stood in for. A
//    device still behind gives instead the word of an address asked for after 0 (the
//    CW word when it is one behind); a different word fails the read (OutOfStep).
// 3. The owed answers still come. After the closing answer the read waits as long as
//    the longest time between two of its requests, and a millisecond more; a byte
//    that comes meanwhile fails the read (OutOfStep).
//
// Why the wait of 3 suffices, also where the words of 2 happen to agree: a device
// behind sends its answers in the order asked, each as long after its request as the
// one before (or back to back when its line is the limit; then the requests follow
// its answers and are as far apart as they are). The answer taken last belongs to some
// request r, the first one owed to the request after r, which went out at most the
// longest request gap after r: so the owed answer comes at most that long after the
// last one taken, give or take the device's own timing, which the longest gap mostly
// shows already: one millisecond more is waited for it. The wait is
// measured on this line, so a USB adapter's latency, which delays every answer alike,
// is in it. A device in step owes nothing, and nothing comes: it never fails here.
// What none of this can see is a device that answers in step with another address's
// word, or one that grows later at the very end of the read by more than its longest
// gap while the words of 2 agree.
MaybeFailure ReadDeviceWords(ComPort& link, std::span<std::uint32_t, DeviceWordCount> words,
                             TransferBytes& buffer) {
    using Clock = std::chrono::steady_clock;
    constexpr int LastAddress = DeviceWordCount - 1;
    Clock::time_point lastRequest{};
    Clock::duration longestGap{};
    std::uint32_t again = 0;
    if (!link.IsOpen()) return PortNotOpened();
    link.Purge(1);
    // Addresses 0..128, then 0 again (2 above).
    for (int request = 0; request < ReadBackRequests; ++request) {
        const int address = request % DeviceWordCount;
        if (request > 0 && link.Waiting() > 0) return SentMoreThanAskedAfter(request - 1);
        const Clock::time_point now = Clock::now();
        if (request > 0) longestGap = std::max(longestGap, now - lastRequest);
        lastRequest = now;
        std::uint32_t& word = request < DeviceWordCount ? words[address] : again;
        if (MaybeFailure failure = Exchange(link, address, buffer, word)) return failure;
    }
    if (again != words[0]) return OutOfStepAfter(LastAddress);
    const auto wait =
        std::chrono::ceil<std::chrono::milliseconds>(longestGap + std::chrono::milliseconds(1));
    // A line that hangs up or a stop signal ends the wait before it could tell.
    if (!link.Pause(wait)) return CantWriteToPort(link.TransferError());
    if (link.Waiting() > 0) return OutOfStepAfter(LastAddress);
    return std::nullopt;
}

}  // namespace

MaybeFailure ReadProgram(ComPort& link, ProgramImage& image, TransferBytes& buffer) {
    // A read that fails part-way must not leave a mix of two programs behind.
    std::array<std::uint32_t, DeviceWordCount> words{};
    if (MaybeFailure failure = ReadDeviceWords(link, words, buffer)) return failure;
    std::copy(words.begin(), words.end(), image.Words.begin());
    image.WordCount = MaxProgramWords;
    return std::nullopt;
}

std::array<std::uint32_t, MaxProgramWords> ProgramAsWritten(const ProgramImage& image) {
    std::array<std::uint32_t, MaxProgramWords> words;
    words.fill(NopWord);
    const int count = std::clamp(image.WordCount, 0, MaxProgramWords);
    std::copy(image.Words.begin(), image.Words.begin() + count, words.begin());
    return words;
}

std::vector<WordDifference> CompareWithDevice(
    const ProgramImage& image, std::span<const std::uint32_t, MaxProgramWords> deviceWords) {
    const auto program = ProgramAsWritten(image);
    std::vector<WordDifference> differences;
    for (int address = 0; address < MaxProgramWords; ++address) {
        if (program[address] != deviceWords[address]) {
            differences.push_back({address, program[address], deviceWords[address]});
        }
    }
    return differences;
}

MaybeFailure VerifyProgram(ComPort& link, ProgramImage& image, TransferBytes& buffer) {
    const std::span readBack(image.ReadBackWords);
    if (MaybeFailure failure = ReadDeviceWords(link, readBack.first<DeviceWordCount>(), buffer)) {
        return failure;
    }
    const auto differences = CompareWithDevice(image, readBack.first<MaxProgramWords>());
    if (differences.empty()) return std::nullopt;
    const WordDifference& first = differences.front();
    return VerifyFailAt(first.Address, first.Program, first.Device);
}

const std::array<std::string_view, ProgramChoiceCount>& ProgramChoices() {
    static constexpr std::array<std::string_view, ProgramChoiceCount> choices = {
        "Ext",     "Hall 1",        "Hall 2",        "Room 1",       "Room 2",        "Room 3",
        "Plate 1", "Plate 2",       "Plate 3",       "Chorus",       "Flange",        "Delay 1",
        "Delay 2", "Chorus/Room 1", "Chorus/Room 2", "Voice cancel", "Rotary speaker"};
    return choices;
}

std::uint8_t ProgramChoiceCommand(int choice) {
    if (choice <= 0) return CmdProgEnable;
    return static_cast<std::uint8_t>(CmdSelectInternal + (choice - 1));
}

std::optional<int> FindProgramChoice(std::string_view text) {
    int index = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), index);
    if (error == std::errc() && end == text.data() + text.size()) {
        if (index >= 0 && index < ProgramChoiceCount) return index;
        return std::nullopt;
    }
    const auto sameIgnoringCase = [text](std::string_view name) {
        return name.size() == text.size() &&
               std::equal(name.begin(), name.end(), text.begin(), [](char a, char b) {
                   return std::tolower(static_cast<unsigned char>(a)) ==
                          std::tolower(static_cast<unsigned char>(b));
               });
    };
    const auto& choices = ProgramChoices();
    const auto found = std::find_if(choices.begin(), choices.end(), sameIgnoringCase);
    if (found == choices.end()) return std::nullopt;
    return static_cast<int>(found - choices.begin());
}

}  // namespace ixo
