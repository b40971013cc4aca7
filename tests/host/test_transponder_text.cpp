// A typed transponder text: the message that rejects it, the values stored before.
#include "tuner/transponder_text.h"
#include <gtest/gtest.h>
#include <climits>
#include <tuple>

namespace {

TEST(TransponderText, AcceptsTheFormsAndRejectsWithTheRightMessage) {
    const uint32_t U = 777;  // a value the parse has not stored
    const struct {
        const char* text;
        int status;
        uint32_t frequency, polarization, symbolRate;
    } cases[] = {
        {"11778 V 27500", 0, 11778000, 1, 27500},
        {"11778V27500", 0, 11778000, 1, 27500},          // 11 characters: the shortest
        {"10729,V,22000", 0, 10729000, 1, 22000},        // comma after the letter skipped
        {"11778000 h 27500000", 0, 11778000, 0, 27500},  // kHz and symbols per second
        {"15000 H 27500", 0, 15000000, 0, 27500},
        {"12345 L 1000  ", 0, 12345000, 0, 1000},
        {"  3400 r 45000", 0, 3400000, 1, 45000},
        {"3399000 l 30000", 0, 3399000, 0, 30000},                // lowest kHz
        {"11000 R 45000000", 0, 11000000, 1, 45000},              // sps on the upper edge
        {"11778V2750", STATUS_BAD_LENGTH, U, U, U},               // 10 characters
        {"11778 V 27500          ", STATUS_BAD_LENGTH, U, U, U},  // 23
        {"", STATUS_BAD_LENGTH, U, U, U},
        {"15001 H 27500", STATUS_BAD_FREQUENCY, 15001, U, U},        // taken as kHz: too low
        {"-11778 H 27500", STATUS_BAD_FREQUENCY, 0u - 11778, U, U},  // huge unsigned
        {"15000002 H 2750", STATUS_BAD_FREQUENCY, 15000002, U, U},
        {"3398999 H 27500", STATUS_BAD_FREQUENCY, 3398999, U, U},
        {"abcde V 27500", STATUS_BAD_FREQUENCY, 0, U, U},
        {"99999999999 V 27500", STATUS_BAD_FREQUENCY, INT32_MAX, U, U},  // saturates like a 32-bit long
        {"11778 X 27500", STATUS_BAD_POLARISATION, 11778000, 2, U},      // 2: none found
        {"11778 H 999  ", STATUS_BAD_SYMBOL_RATE, 11778000, 0, 999},
        {"11778 H 45001", STATUS_BAD_SYMBOL_RATE, 11778000, 0, 45},  // 45001 sps is 45 ks/s
        {"11778 H -27500", STATUS_BAD_SYMBOL_RATE, 11778000, 0, 0u - 27500},
        {"11778 H ,,27500", STATUS_BAD_SYMBOL_RATE, 11778000, 0, 0},  // only one comma is skipped
        {"11778 V 99999999999", STATUS_BAD_SYMBOL_RATE, 11778000, 1, INT32_MAX / 1000},
        // The first letter decides, even inside a word.
        {"11778 Hv 27500", STATUS_BAD_SYMBOL_RATE, 11778000, 0, 0},
        {"11778 vH 27500", STATUS_BAD_SYMBOL_RATE, 11778000, 1, 0},
    };
    for (const auto& c : cases) {
        TransponderValues values = {U, U, U};
        EXPECT_EQ(ParseTransponderText(c.text, &values), c.status) << '"' << c.text << '"';
        EXPECT_EQ(values.frequency, c.frequency) << c.text;
        EXPECT_EQ(values.polarization, c.polarization) << c.text;
        EXPECT_EQ(values.symbolRate, c.symbolRate) << c.text;
    }
}

TEST(TransponderText, ChoosesBandAndOscillator) {
    const uint32_t cases[][4] = {
        // frequency, tone, oscillator, second oscillator
        {11778000, 1, 10600, 0}, {11699000, 0, 9750, 0},   {11699001, 1, 10600, 0}, {4200999, 0, 9750, 5150},
        {4201000, 0, 9750, 0},   {3400000, 0, 9750, 5150}, {15000001, 1, 10600, 0},
    };
    for (auto [frequency, tone, oscillator, second] : cases) {
        LnbChoice lnb = ChooseLnb(frequency);
        EXPECT_EQ(std::tuple(lnb.tone, lnb.oscillator, lnb.secondOscillator), std::tuple(tone, oscillator, second))
            << frequency;
    }
}

}  // namespace
