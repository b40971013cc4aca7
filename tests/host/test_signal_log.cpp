#include "feedback/signal_log_lines.h"
#include <gtest/gtest.h>
#include <array>

namespace {

TEST(SignalLogGeometry, FollowsTheScreenWithStrictSteps) {
    const int cases[][5] = {{1024, 768, 30, 3, 62}, {1920, 1080, 46, 6, 60}, {2100, 1200, 52, 6, 150},
                            {2101, 1200, 52, 7, 0}, {601, 480, 16, 2, 0},    {600, 480, 16, 1, 150}};
    for (const auto& c : cases) {
        GraphGeometry g = SignalGraphGeometry(c[0], c[1]);
        EXPECT_EQ((std::array<int, 3>{g.rowHeight, g.barWidth, g.left}), (std::array<int, 3>{c[2], c[3], c[4]}))
            << c[0] << " x " << c[1];
    }
    EXPECT_EQ(GraphPixelsPerPercent(46), 9);  // 920 / 100: a full bar stops below the top line
}

TEST(SignalLogLines, HeaderAndRecordsAsTheFileHoldsThem) {
    const UtcTime t = {2026, 12, 4, 8, 27, 5};
    char line[LOG_HEADER_SIZE];
    ASSERT_TRUE(FormatLogHeader(line, sizeof line, t));
    EXPECT_STREQ(line, ";Orvalis signal level log (GMT 0) 04.12.2026  08:27\r\n");
    for (auto [level, expected] : {std::pair{57, "27:05   57\r\n"}, {5, "27:05   05\r\n"}, {100, "27:05   100\r\n"}}) {
        ASSERT_TRUE(FormatLogRecord(line, LOG_RECORD_SIZE, t, level));
        EXPECT_STREQ(line, expected);
    }
    EXPECT_FALSE(FormatLogRecord(line, 13, t, 100)) << "13 characters need 14 with the terminator";
}

}  // namespace
