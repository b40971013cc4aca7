// The geometry of a site, the geostationary arc and a dish: plain vectors, no
// look-angle formulas, so that the calculator has something independent to
// agree with.
#include "simcard/dish_geometry.h"
#include <cmath>

constexpr double PI = 3.14159265358979323846;
constexpr double RADIANS = PI / 180;

static Vec3 Add(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
static Vec3 Scale(Vec3 a, double k) { return {a.x * k, a.y * k, a.z * k}; }
static double Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
static Vec3 Cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
static Vec3 Unit(Vec3 a) { return Scale(a, 1.0 / std::sqrt(Dot(a, a))); }

double OrbitLongitude(uint32_t key) { return key <= 1800 ? key / 10.0 : (double(key) - 3600) / 10.0; }

// An earth-centred vector (x to longitude 0, z to the north pole) in the
// site's east, north and up.
static Vec3 ToSite(Site site, Vec3 v) {
    double f = site.latitude * RADIANS, l = site.longitude * RADIANS;
    Vec3 east = {-std::sin(l), std::cos(l), 0};
    Vec3 north = {-std::sin(f) * std::cos(l), -std::sin(f) * std::sin(l), std::cos(f)};
    Vec3 up = {std::cos(f) * std::cos(l), std::cos(f) * std::sin(l), std::sin(f)};
    return {Dot(v, east), Dot(v, north), Dot(v, up)};
}

Vec3 SatelliteDirection(Site site, double satelliteLongitude) {
    double f = site.latitude * RADIANS, l = site.longitude * RADIANS, s = satelliteLongitude * RADIANS;
    // Earth radii: the site on the surface, the satellite on the orbit.
    Vec3 place = {std::cos(f) * std::cos(l), std::cos(f) * std::sin(l), std::sin(f)};
    Vec3 satellite = Scale(Vec3{std::cos(s), std::sin(s), 0}, 1.0 / EARTH_TO_ORBIT);
    return Unit(ToSite(site, Add(satellite, Scale(place, -1))));
}

Vec3 PointingDirection(double azimuth, double elevation) {
    double a = azimuth * RADIANS, e = elevation * RADIANS;
    return {std::cos(e) * std::sin(a), std::cos(e) * std::cos(a), std::sin(e)};
}

Pointing AnglesOfDirection(Vec3 d) {
    double azimuth = std::atan2(d.x, d.y) / RADIANS;
    if (azimuth < 0) azimuth += 360;
    double z = d.z > 1 ? 1 : d.z < -1 ? -1 : d.z;
    return {azimuth, std::asin(z) / RADIANS, 0};
}

double AngleBetween(Vec3 a, Vec3 b) {
    // atan2 of the cross and dot products stays exact for tiny angles, where
    // acos of a dot product near 1 loses half its digits.
    return std::atan2(std::sqrt(Dot(Cross(a, b), Cross(a, b))), Dot(a, b)) / RADIANS;
}

double PolarizationSeen(Site site, double satelliteLongitude, Vec3 beam, int vertical) {
    double s = satelliteLongitude * RADIANS;
    // Horizontal runs along the arc, vertical along the earth's axis.
    Vec3 field = ToSite(site, vertical ? Vec3{0, 0, 1} : Vec3{-std::sin(s), std::cos(s), 0});
    // The feed's own horizontal and up, seen from behind the dish.
    Vec3 right = Unit(Cross(beam, Vec3{0, 0, 1}));
    Vec3 up = Cross(right, beam);
    double angle = std::atan2(Dot(field, up), Dot(field, right)) / RADIANS;
    if (angle > 90) angle -= 180;
    if (angle <= -90) angle += 180;
    return angle;
}

Pointing SatelliteLookAngles(Site site, double satelliteLongitude) {
    Vec3 direction = SatelliteDirection(site, satelliteLongitude);
    Pointing angles = AnglesOfDirection(direction);
    angles.skew = PolarizationSeen(site, satelliteLongitude, direction, 0);
    return angles;
}

Vec3 RotateLike(Vec3 v, Vec3 from, Vec3 to) {
    Vec3 axis = Cross(from, to);
    double sine = std::sqrt(Dot(axis, axis)), cosine = Dot(from, to);
    if (sine < 1e-12) return v;
    axis = Scale(axis, 1.0 / sine);
    // Rodrigues: v cos + (k x v) sin + k (k . v)(1 - cos).
    return Add(Add(Scale(v, cosine), Scale(Cross(axis, v), sine)), Scale(axis, Dot(axis, v) * (1 - cosine)));
}
