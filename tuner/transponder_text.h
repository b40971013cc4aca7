// Reading a transponder line such as "11778 V 27500". No windows.h: the rules
// are checked on the host.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr size_t TRANSPONDER_TEXT_MIN = 11;
constexpr size_t TRANSPONDER_TEXT_MAX = 22;

enum StatusMessage {
    STATUS_PLEASE_WAIT = 0,
    STATUS_BAD_LENGTH = 1,
    STATUS_BAD_FREQUENCY = 2,
    STATUS_BAD_POLARISATION = 3,
    STATUS_BAD_SYMBOL_RATE = 4,
    STATUS_NOT_FOUND = 5,
    STATUS_CANNOT_START = 6,
    STATUS_LIST_FULL = 7,
    STATUS_MESSAGE_COUNT = 8,
};

// The status box texts by number; nullptr outside 0..7.
const char* StatusMessageText(int number);

struct TransponderValues {
    uint32_t frequency;     // kHz
    uint32_t polarization;  // 0 horizontal/left, 1 vertical/right, 2 none found
    uint32_t symbolRate;    // ks/s
};

// Checks the text and stores each value as soon as it is read, so a rejected
// text leaves what was parsed before the failing check. Returns 0 when the
// text is good, else the number of the status message that rejects it.
int ParseTransponderText(const char* text, TransponderValues* values);

// The LNB settings a frequency needs.
struct LnbChoice {
    uint32_t tone;              // 22 kHz tone: 1 for the high band
    uint32_t oscillator;        // MHz
    uint32_t secondOscillator;  // MHz, 0 when no second call is made (C band: 5150)
};
LnbChoice ChooseLnb(uint32_t frequency);
