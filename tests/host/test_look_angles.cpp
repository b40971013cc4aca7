// The calculator's arithmetic on worked examples and the edges of the sky (the e2e test reads the face).
#include "calculator/look_angles.h"
#include <gtest/gtest.h>
#include <cmath>

namespace {

// One computation from the list values and the dish boxes' texts.
LookResults Look(LookEntries e, const char* width = "1000", const char* height = "1200") {
    LookResults r = {};
    r.offsetAngle = 12.5;  // what an earlier computation left
    if (!AimAtSatellite(e, &r)) TakeDishSize(width, height, &r);
    return r;
}

TEST(LookAngles, WorkedExamplesAndTheEdgesOfTheSky) {
    const double N = NAN;  // not checked in this row
    struct Row {
        LookEntries e;
        double latitude, azimuth, elevation, polarization, tolerance;
        bool visible;
    };
    const Row rows[] = {
        {{50, 0, 10, 0, 192}, 50, 168.318, 32.058, 7.478, 5e-4, true},
        {{-30, 0, 20, 0, 100}, -30, 340.575, 53.354, 16.740, 5e-4, true},
        {{0, 0, 10, 0, 200}, 0, 90, N, 90, 1e-5, true},        // equator, satellite east
        {{0, 0, 30, 0, 200}, 0, 270, N, -90, 1e-5, true},      // and west
        {{90, 0, 180, 0, 192}, 90, N, -8.59, N, 5e-3, false},  // what a block of zeros selects
        {{50, 0, 0, 0, 810}, 50, N, -2.90, N, 5e-3, true},     // 81 degrees apart: just visible
        {{50, 0, 0, 0, 820}, 50, N, -3.54, N, 5e-3, false},    // 82: not
        {{-10, 30, 0, 0, 0}, -9.5, N, N, N, 0, true},          // minutes count north
        {{0, 30, -1, 30, 3300}, 0.5, N, N, N, 0, true},
    };
    for (const Row& row : rows) {
        LookResults r = Look(row.e);
        SCOPED_TRACE(testing::Message() << row.e.latitudeDegrees << "/" << row.e.longitudeDegrees);
        EXPECT_EQ(r.latitude, row.latitude);
        for (auto [got, want] :
             {std::pair{r.azimuth, row.azimuth}, {r.elevation, row.elevation}, {r.polarizationAngle, row.polarization}})
            if (!std::isnan(want)) {
                EXPECT_NEAR(got, want, row.tolerance);
            }
        EXPECT_EQ(r.boxesVisible, row.visible);
    }
    EXPECT_FALSE(SatelliteVisible(-3.0));  // exactly at the limit: hidden
    // Under the satellite's meridian: south exactly 360 (never 0) and +0;
    // north 180 and a negative zero, which the face prints as "-0.00".
    LookResults south = Look({-30, 0, 10, 0, 100}), north = Look({50, 0, 10, 0, 100});
    EXPECT_TRUE(south.azimuth == 360.0 && !std::signbit(south.polarizationAngle));
    EXPECT_EQ(north.azimuth, 180.0);
    LookTexts texts;
    FormatLookTexts(north, &texts);
    EXPECT_STREQ(texts.polarization, "-0.00\xB0");

    // Straight below the satellite: 0, 90, 0 and the dish boxes not read; so
    // also with no satellite selected (-1 is longitude 0) at 0 degrees.
    for (LookEntries below : {LookEntries{0, 0, 19, 0, 192}, LookEntries{0, 0, 0, 0, -1}}) {
        LookResults r = Look(below);
        EXPECT_EQ(r.azimuth, 0);
        EXPECT_EQ(r.polarizationAngle, 0);
        EXPECT_NEAR(r.elevation, 90, 1e-6);
        EXPECT_TRUE(r.offsetAngle == 12.5 && r.dishWidth == 0 && !r.boxesVisible);
    }
}

TEST(LookAngles, SatellitePositionsAndDishBoxes) {
    const int32_t positions[][2] = {{192, 19},   {3300, -30},  {3195, -41}, {1805, 180},
                                    {1800, 180}, {1810, -179}, {-1, 0}};
    for (auto [value, degrees] : positions) EXPECT_EQ(SatelliteLongitude(value), degrees) << value;

    const struct {
        const char* text;
        int32_t value;
    } parsed[] = {{" \t+42mm", 42},
                  {"-17", -17},
                  {"", 0},
                  {"abc", 0},
                  {"2147483647", INT32_MAX},
                  {"2147483648", INT32_MAX},
                  {"99999999999999999999", INT32_MAX},
                  {"-99999999999", INT32_MIN}};
    for (auto [text, value] : parsed) EXPECT_EQ(ParseDishSize(text), value) << '"' << text << '"';

    const double NONE = NO_OFFSET_FIGURE;
    const struct {
        const char *width, *height;
        double offset;
    } dishes[] = {
        {"1000", "1200", 33.557}, {"1200", "1200", NONE}, {"1300", "1200", NONE},
        {"600", "1200", 60.0},    {"599", "1200", NONE},  {"", "1200", NONE},
        {"x", "y", NONE},         {"-2", "-1", 0.0012}};  // unsigned: nearly round, not a ratio of 1/2 and 90 degrees
    for (auto [width, height, offset] : dishes)
        EXPECT_NEAR(Look({50, 0, 10, 0, 192}, width, height).offsetAngle, offset, 5e-4) << width << " x " << height;
}

}  // namespace
