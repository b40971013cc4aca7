#include "feedback/meter_spinner.h"
#include <gtest/gtest.h>

namespace {

TEST(MeterSpinner, WalksTheSquareClockwiseAndComesBackIn20Frames) {
    Spinner s = SPINNER_START;
    const Spinner corners[] = {{320, 90, 300, 110, 1}, {320, 110, 300, 90, 2},
                               {300, 110, 320, 90, 3}, {300, 90, 320, 110, 0}};
    for (const Spinner& corner : corners) {
        for (int i = 0; i < 5; ++i) {
            AdvanceSpinner(&s);
            // the end point is always the start point mirrored through (310,100)
            ASSERT_EQ(s.startX + s.endX, 620);
            ASSERT_EQ(s.startY + s.endY, 200);
        }
        EXPECT_EQ(s.startX, corner.startX);
        EXPECT_EQ(s.startY, corner.startY);
        EXPECT_EQ(s.phase, corner.phase);
    }
}

TEST(MeterSpinner, ResumesMidSideAndSurvivesAStrangePhase) {
    Spinner s = {308, 90, 312, 110, 0};  // stopped mid-way along the top
    AdvanceSpinner(&s);
    EXPECT_EQ(s.startX, 312);
    EXPECT_EQ(s.phase, 0u);
    Spinner odd = {300, 98, 320, 102, 7};  // any other phase moves up
    AdvanceSpinner(&odd);
    EXPECT_EQ(odd.startY, 94);
    EXPECT_EQ(odd.endY, 106);
}

TEST(MeterText, LevelAndSnr) {
    char level[8];
    ASSERT_TRUE(FormatLevel(level, sizeof level, 100));
    EXPECT_STREQ(level, "100%");
    ASSERT_TRUE(FormatLevel(level, sizeof level, 57));
    EXPECT_STREQ(level, "57%");
    ASSERT_TRUE(FormatLevel(level, sizeof level, -5));
    EXPECT_STREQ(level, "-5%");
    ASSERT_TRUE(FormatLevel(level, sizeof level, 250));
    EXPECT_STREQ(level, "250%");
    EXPECT_FALSE(FormatLevel(level, sizeof level, -2000000000));  // does not fit: not drawn

    char snr[16];
    ASSERT_TRUE(FormatSnr(snr, sizeof snr, 8.25f));
    EXPECT_STREQ(snr, "SNR 8.25");
    ASSERT_TRUE(FormatSnr(snr, sizeof snr, -3.5f));
    EXPECT_STREQ(snr, "SNR -3.50");
    EXPECT_FALSE(FormatSnr(snr, sizeof snr, 1e12f));
}

}  // namespace
