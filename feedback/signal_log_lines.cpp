#include "feedback/signal_log_lines.h"
#include <cstdio>

// Bar width by screen width: the first step the screen is wider than.
static const struct {
    int above;
    int16_t barWidth;
} BAR_STEPS[] = {{2100, 7}, {1800, 6}, {1500, 5}, {1200, 4}, {900, 3}, {600, 2}};
constexpr int16_t NARROW_BAR_WIDTH = 1;

GraphGeometry SignalGraphGeometry(int screenWidth, int screenHeight) {
    GraphGeometry g;
    g.rowHeight = int16_t((screenHeight - 150) / GRAPH_ROWS);
    g.barWidth = NARROW_BAR_WIDTH;
    for (const auto& step : BAR_STEPS) {
        if (screenWidth > step.above) {
            g.barWidth = step.barWidth;
            break;
        }
    }
    g.left = int16_t((screenWidth - g.barWidth * GRAPH_SAMPLE_COUNT) / 2);
    return g;
}

int GraphPixelsPerPercent(int rowHeight) { return rowHeight * GRAPH_ROWS / 100; }

static bool Fits(int n, int size) { return n >= 0 && n < size; }

bool FormatLogHeader(char* buffer, int size, const UtcTime& t) {
    return Fits(snprintf(buffer, size, ";Orvalis signal level log (GMT 0) %.02d.%.02d.%.04d  %.02d:%.02d\r\n", t.day,
                         t.month, t.year, t.hour, t.minute),
                size);
}

bool FormatLogRecord(char* buffer, int size, const UtcTime& t, int32_t level) {
    return Fits(snprintf(buffer, size, "%.02d:%.02d   %.02d\r\n", t.minute, t.second, level), size);
}
