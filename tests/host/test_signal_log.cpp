#include "feedback/signal_log_lines.h"
#include <gtest/gtest.h>

namespace {

TEST(SignalLogGeometry, FollowsTheScreenWithStrictSteps) {
    const struct {
        int w, h;
        GraphGeometry expected;
    } cases[] = {{1024, 768, {30, 3, 62}}, {1920, 1080, {46, 6, 60}}, {2100, 1200, {52, 6, 150}},
                 {2101, 1200, {52, 7, 0}}, {1800, 1000, {42, 5, 150}}, {1201, 900, {37, 4, 0}},
                 {601, 480, {16, 2, 0}},   {600, 480, {16, 1, 150}},   {320, 240, {4, 1, 10}}};
    for (const auto& c : cases) {
        GraphGeometry g = SignalGraphGeometry(c.w, c.h);
        EXPECT_EQ(g.rowHeight, c.expected.rowHeight) << c.w << "x" << c.h;
        EXPECT_EQ(g.barWidth, c.expected.barWidth) << c.w << "x" << c.h;
        EXPECT_EQ(g.left, c.expected.left) << c.w << "x" << c.h;
    }
    EXPECT_EQ(GraphPixelsPerPercent(30), 6);
    EXPECT_EQ(GraphPixelsPerPercent(46), 9);  // 920 / 100: a full bar stops below the top line
}

TEST(SignalLogLines, HeaderAndRecordsAsTheFileHoldsThem) {
    const UtcTime t = {2026, 12, 4, 8, 27, 5};
    char line[LOG_HEADER_SIZE];
    ASSERT_TRUE(FormatLogHeader(line, sizeof line, t));
    EXPECT_STREQ(line, ";Orvalis signal level log (GMT 0) 04.12.2026  08:27\r\n");
    const struct {
        int32_t level;
        const char* expected;
    } records[] = {{57, "27:05   57\r\n"}, {5, "27:05   05\r\n"}, {100, "27:05   100\r\n"}};
    for (const auto& r : records) {
        ASSERT_TRUE(FormatLogRecord(line, LOG_RECORD_SIZE, t, r.level));
        EXPECT_STREQ(line, r.expected);
    }
    EXPECT_TRUE(FormatLogRecord(line, 14, t, 100));  // 13 characters and the terminator
    EXPECT_FALSE(FormatLogRecord(line, 13, t, 100)) << "a line that does not fit is not written";
    EXPECT_TRUE(FormatLogRecord(line, LOG_RECORD_SIZE, t, INT32_MIN)) << "every level fits 32";
}

}  // namespace
