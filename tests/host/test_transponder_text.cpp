#include "tuner/transponder_text.h"
#include <gtest/gtest.h>
#include <string>

namespace {

struct Parsed {
    int status;
    TransponderValues values;
};

Parsed Parse(const char* text) {
    Parsed p{0, {111, 222, 333}};
    p.status = ParseTransponderText(text, &p.values);
    return p;
}

TEST(TransponderText, AcceptsTheForms) {
    struct Case {
        const char* text;
        uint32_t frequency, polarization, symbolRate;
    } cases[] = {
        {"11778 V 27500", 11778000, 1, 27500},
        {"11778V27500", 11778000, 1, 27500},          // 11 characters: the shortest
        {"10729,V,22000", 10729000, 1, 22000},        // comma after the letter skipped
        {"11778000 h 27500000", 11778000, 0, 27500},  // kHz and symbols per second
        {"15000 H 27500", 15000000, 0, 27500},
        {"12345 L 1000  ", 12345000, 0, 1000},
        {"  3400 r 45000", 3400000, 1, 45000},
        {"3399000 l 30000", 3399000, 0, 30000},       // lowest kHz
        {"11000 R 45000000", 11000000, 1, 45000},     // sps on the upper edge
    };
    for (const Case& c : cases) {
        Parsed p = Parse(c.text);
        EXPECT_EQ(p.status, 0) << c.text;
        EXPECT_EQ(p.values.frequency, c.frequency) << c.text;
        EXPECT_EQ(p.values.polarization, c.polarization) << c.text;
        EXPECT_EQ(p.values.symbolRate, c.symbolRate) << c.text;
    }
}

TEST(TransponderText, RejectsWithTheRightMessage) {
    struct Case {
        const char* text;
        int status;
    } cases[] = {
        {"11778V2750", STATUS_BAD_LENGTH},                // 10 characters
        {"11778 V 27500          ", STATUS_BAD_LENGTH},   // 23 characters
        {"", STATUS_BAD_LENGTH},
        {"15001 H 27500", STATUS_BAD_FREQUENCY},          // taken as kHz: too low
        {"-11778 H 27500", STATUS_BAD_FREQUENCY},         // negative is huge unsigned
        {"15000002 H 2750", STATUS_BAD_FREQUENCY},
        {"3398999 H 27500", STATUS_BAD_FREQUENCY},
        {"abcde V 27500", STATUS_BAD_FREQUENCY},
        {"99999999999 V 27500", STATUS_BAD_FREQUENCY},    // saturates like a 32-bit long
        {"11778 X 27500", STATUS_BAD_POLARISATION},
        {"11778 H 999  ", STATUS_BAD_SYMBOL_RATE},
        {"11778 H 45001", STATUS_BAD_SYMBOL_RATE},        // 45001 sps is 45 ks/s
        {"11778 H -27500", STATUS_BAD_SYMBOL_RATE},
        {"11778 H ,,27500", STATUS_BAD_SYMBOL_RATE},      // only one comma is skipped
        {"11778 V 99999999999", STATUS_BAD_SYMBOL_RATE},
    };
    for (const Case& c : cases) EXPECT_EQ(Parse(c.text).status, c.status) << c.text;
}

TEST(TransponderText, KeepsWhatWasParsedBeforeARejection) {
    Parsed p = Parse("11778 X 27500");
    EXPECT_EQ(p.values.frequency, 11778000u);
    EXPECT_EQ(p.values.polarization, 2u);  // none found
    EXPECT_EQ(p.values.symbolRate, 333u);  // never reached

    p = Parse("11778 H 45001");
    EXPECT_EQ(p.values.symbolRate, 45u);

    p = Parse("11778V2750");  // length: nothing is touched
    EXPECT_EQ(p.values.frequency, 111u);
}

TEST(TransponderText, TheFirstLetterDecides) {
    // "h" inside a word still counts: the scan takes the first letter it meets.
    EXPECT_EQ(Parse("11778 Hv 27500").values.polarization, 0u);
    EXPECT_EQ(Parse("11778 vH 27500").status, STATUS_BAD_SYMBOL_RATE);
}

TEST(TransponderText, ChoosesBandAndOscillator) {
    struct Case {
        uint32_t frequency, tone, oscillator, second;
    } cases[] = {
        {11778000, 1, 10600, 0}, {11699000, 0, 9750, 0}, {11699001, 1, 10600, 0},
        {4200999, 0, 9750, 5150}, {4201000, 0, 9750, 0},  {3400000, 0, 9750, 5150},
        {15000001, 1, 10600, 0},
    };
    for (const Case& c : cases) {
        LnbChoice lnb = ChooseLnb(c.frequency);
        EXPECT_EQ(lnb.tone, c.tone) << c.frequency;
        EXPECT_EQ(lnb.oscillator, c.oscillator) << c.frequency;
        EXPECT_EQ(lnb.secondOscillator, c.second) << c.frequency;
    }
}

}  // namespace
