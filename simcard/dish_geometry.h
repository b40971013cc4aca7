#pragma once
// Where a geostationary satellite stands in the sky of a place on earth, and
// how a dish pointed somewhere sees it: vectors in the site's own frame
// (x east, y north, z up). A spherical earth whose radius is 0.151 of the
// orbit's, as the program's calculator has it, so both agree on the angles.
#include "simcard/dish_scenario.h"

constexpr double EARTH_TO_ORBIT = 0.151;

struct Vec3 {
    double x, y, z;
};

struct Site {
    double latitude, longitude;  // degrees, north and east positive
};

// Degrees east, -180..180, of a position key (tenths eastwards, 0..3599).
double OrbitLongitude(uint32_t key);

// The unit vector from the site to the satellite.
Vec3 SatelliteDirection(Site site, double satelliteLongitude);

// The unit vector of an azimuth and elevation, and back (skew 0).
Vec3 PointingDirection(double azimuth, double elevation);
Pointing AnglesOfDirection(Vec3 direction);

// Degrees between two unit vectors.
double AngleBetween(Vec3 a, Vec3 b);

// The angle at which a feed looking along beam sees the satellite's
// horizontal (vertical: 1) polarization: degrees anticlockwise from the
// feed's own horizontal, seen from behind the dish, folded into -90..90.
double PolarizationSeen(Site site, double satelliteLongitude, Vec3 beam, int vertical);

// The azimuth, elevation and skew that put the dish on the satellite with
// its LNB lined up with the horizontal polarization.
Pointing SatelliteLookAngles(Site site, double satelliteLongitude);

// v turned by the rotation that takes the unit vector from onto to: where a
// second feed looks when the first one looks along v.
Vec3 RotateLike(Vec3 v, Vec3 from, Vec3 to);
