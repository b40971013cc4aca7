// The meter's searching sign and its texts.
#include "feedback/meter_spinner.h"
#include <gtest/gtest.h>
#include <tuple>

namespace {

std::tuple<int, int, uint32_t> Corner(const Spinner& s) { return {s.startX, s.startY, s.phase}; }

TEST(MeterSpinner, WalksTheSquareClockwiseAndComesBackIn20Frames) {
    Spinner s = SPINNER_START;
    const Spinner corners[] = {
        {320, 90, 300, 110, 1}, {320, 110, 300, 90, 2}, {300, 110, 320, 90, 3}, {300, 90, 320, 110, 0}};
    for (const Spinner& corner : corners) {
        for (int i = 0; i < 5; ++i) {
            AdvanceSpinner(&s);  // the end point is always the start point mirrored through (310,100)
            ASSERT_EQ(std::pair(s.startX + s.endX, s.startY + s.endY), std::pair(620, 200));
        }
        EXPECT_EQ(Corner(s), Corner(corner));
    }
}

TEST(MeterText, LevelAndSnr) {
    char text[16];
    for (auto [level, expected] : {std::pair{100, "100%"}, {57, "57%"}, {-5, "-5%"}, {250, "250%"}}) {
        ASSERT_TRUE(FormatLevel(text, 8, level));
        EXPECT_STREQ(text, expected);
    }
    EXPECT_FALSE(FormatLevel(text, 8, -2000000000));  // does not fit: not drawn
    for (auto [snr, expected] : {std::pair{8.25f, "SNR 8.25"}, {-3.5f, "SNR -3.50"}}) {
        ASSERT_TRUE(FormatSnr(text, 16, snr));
        EXPECT_STREQ(text, expected);
    }
    EXPECT_FALSE(FormatSnr(text, 16, 1e12f));
}

}  // namespace
