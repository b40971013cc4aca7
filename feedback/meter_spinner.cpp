#include "feedback/meter_spinner.h"
#include <cstdio>

constexpr int32_t STEP = 4;

void AdvanceSpinner(Spinner* s) {
    switch (s->phase) {
        case 0:
            s->startX += STEP;
            s->endX -= STEP;
            break;
        case 1:
            s->startY += STEP;
            s->endY -= STEP;
            break;
        case 2:
            s->startX -= STEP;
            s->endX += STEP;
            break;
        default:
            s->startY -= STEP;
            s->endY += STEP;
            break;
    }
    // The corners turn the walk; anywhere else it goes on as it was.
    if (s->startX == 300 && s->startY == 90)
        s->phase = 0;
    else if (s->startX == 320 && s->startY == 90)
        s->phase = 1;
    else if (s->startX == 320 && s->startY == 110)
        s->phase = 2;
    else if (s->startX == 300 && s->startY == 110)
        s->phase = 3;
}

bool FormatLevel(char* buffer, int size, int32_t level) {
    int n = level == 100 ? snprintf(buffer, size, "100%%") : snprintf(buffer, size, "%d%s", level, "%");
    return n >= 0 && n < size;
}

bool FormatSnr(char* buffer, int size, float snr) {
    int n = snprintf(buffer, size, "%s%.2f", "SNR ", (double)snr);
    return n >= 0 && n < size;
}
