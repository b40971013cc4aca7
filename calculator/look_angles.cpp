#include "calculator/look_angles.h"
#include <cmath>
#include <cstdio>

// The formulas lean on IEEE arithmetic: infinities on the equator and for a
// dish width of 0, and a negative zero that the face prints as "-0.00".
#if defined(__FAST_MATH__) || defined(__FINITE_MATH_ONLY__) && __FINITE_MATH_ONLY__
#error "look angles need IEEE infinities and signed zeros: build without -ffast-math"
#endif

constexpr double PI = 3.1415926535;              // ten decimals, as the figures were made with
constexpr double DEGREES_PER_RADIAN = 57.29578;  // in the polarization formula only
constexpr double EARTH_TO_ORBIT = 0.151;         // earth radius / geostationary orbit radius
constexpr double MINUTES_PER_DEGREE = 60;
constexpr double VISIBILITY_LIMIT = -3.0;   // below it the satellite is out of reach
constexpr double LARGEST_DISH_RATIO = 2.0;  // height / width that still gives a figure

double ElevationAt(double latitude, double userLongitude, double satelliteLongitude) {
    double a = latitude * PI / 180;
    double d = (userLongitude - satelliteLongitude) * PI / 180;
    double ca = cos(a), cd = cos(d);
    // Under the satellite on the equator the root is 0: +infinity, 90 degrees.
    return atan((ca * cd - EARTH_TO_ORBIT) / sqrt(1 - ca * ca * (cd * cd))) * 180 / PI;
}

double AzimuthAt(double latitude, double userLongitude, double satelliteLongitude) {
    double t = tan((userLongitude - satelliteLongitude) * PI / 180);
    double s = sin(latitude * PI / 180);
    // On the equator t / s is an infinity: 90 for a satellite east, 270 west.
    double a = atan(t / s) * 180 / PI;
    double azimuth = latitude >= 0 ? 180 + a : 360 + a;
    // South of the equator under the satellite this is 360, and stays 360.
    if (azimuth > 360) azimuth -= 360;
    return azimuth;
}

double DishOffsetAngle(double width, double height) {
    if (width >= height) return NO_OFFSET_FIGURE;
    if (height / width > LARGEST_DISH_RATIO) return NO_OFFSET_FIGURE;  // width 0: infinite
    double r = width / height;
    double x = r - trunc(r);
    return atan2(sqrt(1 - x * x), x) * 180 / PI;
}

int32_t SatelliteLongitude(int32_t positionValue) {
    int32_t degrees = positionValue / 10;  // whole degrees, truncated towards zero
    return degrees > 180 ? degrees - 360 : degrees;
}

int32_t ParseDishSize(const char* text) {
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    int64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > int64_t(INT32_MAX) + 1) value = int64_t(INT32_MAX) + 1;  // saturated already
    }
    if (negative) return int32_t(-value);
    return value > INT32_MAX ? INT32_MAX : int32_t(value);
}

bool SatelliteVisible(double elevation) { return elevation > VISIBILITY_LIMIT; }

bool AimAtSatellite(const LookEntries& e, LookResults* r) {
    // Minutes count northwards and eastwards whatever the degrees' sign:
    // 10 degrees south and 30 minutes are -9.5.
    r->latitude = e.latitudeDegrees + e.latitudeMinutes / MINUTES_PER_DEGREE;
    double user = e.longitudeDegrees + e.longitudeMinutes / MINUTES_PER_DEGREE;
    double satellite = SatelliteLongitude(e.satelliteValue);
    if (user == satellite && r->latitude == 0) {
        // Straight below the satellite every quotient would be 0 / 0.
        r->azimuth = 0;
        r->polarizationAngle = 0;
        r->elevation = ElevationAt(r->latitude, user, satellite);
        return true;
    }
    r->azimuth = AzimuthAt(r->latitude, user, satellite);
    r->elevation = ElevationAt(r->latitude, user, satellite);
    r->polarizationAngle = -DEGREES_PER_RADIAN *
                           atan(sin((user - satellite) / DEGREES_PER_RADIAN) / tan(r->latitude / DEGREES_PER_RADIAN));
    return false;
}

void TakeDishSize(const char* widthText, const char* heightText, LookResults* r) {
    // Stored as typed; a negative size then counts as a huge unsigned one.
    r->dishWidth = uint32_t(ParseDishSize(widthText));
    r->dishHeight = uint32_t(ParseDishSize(heightText));
    r->offsetAngle = DishOffsetAngle(double(r->dishWidth), double(r->dishHeight));
    r->boxesVisible = SatelliteVisible(r->elevation);
}

static void Format(char* text, const char* format, double value) {
    int n = snprintf(text, LOOK_TEXT_SIZE, format, value);
    if (n < 0 || n >= LOOK_TEXT_SIZE) text[0] = 0;
}

static const char NO_OFFSET_TEXT[] = "Offset dish  : --";
static_assert(sizeof NO_OFFSET_TEXT <= LOOK_TEXT_SIZE);

void FormatLookTexts(const LookResults& r, LookTexts* t) {
    Format(t->primeFocus, "Prime focus: %.2f\xB0", r.elevation);
    if (r.offsetAngle == NO_OFFSET_FIGURE)
        snprintf(t->offsetDish, LOOK_TEXT_SIZE, "%s", NO_OFFSET_TEXT);
    else
        Format(t->offsetDish, "Offset dish  : %.2f\xB0", r.elevation - r.offsetAngle);
    Format(t->azimuth, "%.2f\xB0", r.azimuth);
    Format(t->polarization, "%.2f\xB0", r.polarizationAngle);
}
