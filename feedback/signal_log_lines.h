// The signal log's graph geometry and the lines of its file: what can be said
// about the log without a window.
#pragma once
#include <cstdint>

constexpr int GRAPH_SAMPLE_COUNT = 300;  // five minutes, one slot a second
constexpr int GRAPH_ROWS = 20;           // one row is 5 %
constexpr int GRAPH_TOP = 75;            // the graph's top edge in the dialog

struct GraphGeometry {
    int16_t rowHeight, barWidth, left;
};

// Row height, bar width (2..7) and left edge of the graph for a screen.
// Screens 600 pixels wide or less get bars one pixel wide: the 301-pixel
// graph still fits them, and the graph never depends on an earlier opening.
GraphGeometry SignalGraphGeometry(int screenWidth, int screenHeight);

// Pixels a bar rises per percent: the graph's height / 100, truncated.
int GraphPixelsPerPercent(int rowHeight);

struct UtcTime {
    int year, month, day, hour, minute, second;
};

constexpr int LOG_HEADER_SIZE = 64;  // each header line, terminator included
constexpr int LOG_RECORD_SIZE = 32;
constexpr const char LOG_FORMAT_LINE[] = ";Format: Min:Sec Level\r\n\r\n";

// The first line, with the time the log was opened; false when it does not fit.
bool FormatLogHeader(char* buffer, int size, const UtcTime& opened);
// One second's record, "MM:SS   level"; false when it does not fit.
bool FormatLogRecord(char* buffer, int size, const UtcTime& now, int32_t level);
