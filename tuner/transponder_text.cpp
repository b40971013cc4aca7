#include "tuner/transponder_text.h"
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

constexpr uint32_t MHZ_BELOW = 15001;  // smaller numbers are MHz
constexpr uint32_t LOWEST_KHZ = 3399000;
constexpr uint32_t HIGHEST_KHZ = 15000001;
constexpr int32_t SYMBOLS_PER_SECOND_ABOVE = 45000;
constexpr int32_t LOWEST_SYMBOL_RATE = 1000;
constexpr uint32_t HIGH_BAND_ABOVE = 11699000;
constexpr uint32_t C_BAND_BELOW = 4201000;

static const char* const STATUS_TEXTS[STATUS_MESSAGE_COUNT] = {
    "Please wait ...",
    "Incorrect transponder parameters.",
    "Invalid transponder frequency.",
    "Invalid polarisation.",
    "Invalid symbol rate.",
    "Not found in this version.",
    "In this version cannot be started.",
    "The list is full (999 entries).",
};

const char* StatusMessageText(int number) {
    return number >= 0 && number < STATUS_MESSAGE_COUNT ? STATUS_TEXTS[number] : nullptr;
}

// strtol as the 32-bit product sees it: long is 32 bits there, so a number
// out of range saturates the same way on every build.
static int32_t ReadNumber(const char* text) {
    long value = strtol(text, nullptr, 10);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return (int32_t)value;
}

static const char* FindPolarisation(const char* text, uint32_t* polarization) {
    for (const char* p = text; *p; ++p) {
        switch (*p) {
            case 'H':
            case 'h':
            case 'L':
            case 'l':
                *polarization = 0;
                return p;
            case 'V':
            case 'v':
            case 'R':
            case 'r':
                *polarization = 1;
                return p;
        }
    }
    return nullptr;
}

int ParseTransponderText(const char* text, TransponderValues* values) {
    size_t length = strlen(text);
    if (length > TRANSPONDER_TEXT_MAX || length < TRANSPONDER_TEXT_MIN) return STATUS_BAD_LENGTH;

    values->frequency = (uint32_t)ReadNumber(text);
    if (values->frequency < MHZ_BELOW) values->frequency *= 1000;
    if (values->frequency < LOWEST_KHZ || values->frequency > HIGHEST_KHZ) return STATUS_BAD_FREQUENCY;

    values->polarization = 2;
    const char* letter = FindPolarisation(text, &values->polarization);
    if (!letter) return STATUS_BAD_POLARISATION;

    const char* rate = letter + 1;
    if (*rate == ',') ++rate;
    int32_t symbolRate = ReadNumber(rate);
    values->symbolRate = (uint32_t)symbolRate;
    if (symbolRate > SYMBOLS_PER_SECOND_ABOVE) {
        symbolRate /= 1000;
        values->symbolRate = (uint32_t)symbolRate;
        if (symbolRate > SYMBOLS_PER_SECOND_ABOVE) return STATUS_BAD_SYMBOL_RATE;
    }
    if (symbolRate < LOWEST_SYMBOL_RATE) return STATUS_BAD_SYMBOL_RATE;
    return 0;
}

LnbChoice ChooseLnb(uint32_t frequency) {
    bool high = frequency > HIGH_BAND_ABOVE;
    return {high ? 1u : 0u, high ? 10600u : 9750u, frequency < C_BAND_BELOW ? 5150u : 0u};
}
