// The meter's searching sign: a half circle whose end points walk the border
// of the square (300,90)-(320,110) clockwise, 4 pixels a frame.
#pragma once
#include <cstdint>

struct Spinner {
    int32_t startX, startY, endX, endY;
    uint32_t phase;
};

constexpr Spinner SPINNER_START = {300, 90, 320, 110, 0};

void AdvanceSpinner(Spinner* spinner);

// The level text of a frame: "100%" or the level with "%" into a buffer of 8;
// false when it does not fit.
bool FormatLevel(char* buffer, int size, int32_t level);
// "SNR x.xx" into a buffer of 16; false when it does not fit.
bool FormatSnr(char* buffer, int size, float snr);
