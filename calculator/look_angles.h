// The arithmetic of the dish alignment calculator: where to point a dish at a
// geostationary satellite. No windows.h here, so the host tests run it as the
// program does.
#pragma once
#include <cstdint>

constexpr double NO_OFFSET_FIGURE = 1000.0;  // offsetAngle when there is no figure
constexpr int LOOK_TEXT_SIZE = 32;           // every number text of the dialog's face

// The values attached to the selected entries of the dialog's lists.
struct LookEntries {
    int32_t latitudeDegrees, latitudeMinutes;
    int32_t longitudeDegrees, longitudeMinutes;
    int32_t satelliteValue;  // position key from the main window's list; -1 when none
};

// The results, in degrees, and the dish size as last parsed.
struct LookResults {
    double latitude, azimuth, elevation, polarizationAngle, offsetAngle;
    uint32_t dishWidth, dishHeight;
    bool boxesVisible;
};

// Latitude from AppState in the program's own routines; an argument here.
double ElevationAt(double latitude, double userLongitude, double satelliteLongitude);
double AzimuthAt(double latitude, double userLongitude, double satelliteLongitude);
double DishOffsetAngle(double width, double height);

// Whole degrees east (negative west) of a position key in tenths of a degree.
int32_t SatelliteLongitude(int32_t positionValue);
// A dish box's text as a signed decimal; no digits give 0, overflow saturates.
int32_t ParseDishSize(const char* text);
bool SatelliteVisible(double elevation);

// Latitude, azimuth, elevation and polarization from the entries. True at the
// sub-satellite point, where the computation ends: the dish boxes are not read
// and offsetAngle and boxesVisible keep what they held.
bool AimAtSatellite(const LookEntries& entries, LookResults* results);
// The dish size from the two boxes' texts, its offset figure, and whether the
// boxes are to be shown.
void TakeDishSize(const char* widthText, const char* heightText, LookResults* results);

// The texts with numbers on the dialog's face; a text that does not fit in
// LOOK_TEXT_SIZE is left empty and so not drawn.
struct LookTexts {
    char primeFocus[LOOK_TEXT_SIZE], offsetDish[LOOK_TEXT_SIZE];
    char azimuth[LOOK_TEXT_SIZE], polarization[LOOK_TEXT_SIZE];
};
void FormatLookTexts(const LookResults& results, LookTexts* texts);
