#pragma once

namespace ixo::sim {

// Ways the simulated device can misbehave, for tests of the computer's side.
struct SimFaults {
    bool Silent = false;    // never answer
    int AnswerBelow = -1;   // answer only addresses below this one (-1: all)
    int ShortAddress = -1;  // at this address answer only ShortCount of the 8 bytes
    int ShortCount = 8;
    int LateByteMs = -1;       // after a short answer, send the rest this many ms later (-1: never)
    bool HighNibbles = false;  // set the high nibbles of answer bytes (0x30 | nibble)
    long HangUpAfter = -1;     // close its side once this many bytes have been received
                               // since these faults were set (-1: never)
    int LostWriteAddress = -1;  // writes to this address are lost: it keeps its word
    int PaceBaud = 0;           // take and send each byte at this line rate, 10 bits a
                                // byte (0: no pacing)
    int RepeatAfterUs = -1;     // send every answer a second time, this many microseconds
                                // after it (-1: never)
    int RepeatAddress = -1;     // repeat only the answer to this address (-1: every one)
    int BehindAddress = -1;     // send the answer to this address twice, the copy
    int BehindCopyUs = 0;       // BehindCopyUs microseconds after it, and from then on
    int BehindLateMs = 0;       // every answer BehindLateMs milliseconds late (-1: never)
};

}  // namespace ixo::sim
