/*
 * map.cpp - the plot domain's map transformation, as far as the station
 * location table needs it: set up for a Domain, latitude and longitude to
 * grid x and y, inside the grid or not.
 *
 * Supported are the projections of the built-in regions and the usual
 * domain strings: polar stereographic, latitude-longitude, Mercator and
 * Lambert conformal, all on the sphere.  The grid's middle point is the
 * domain's centre; x counts columns eastward from 0 to nx-1 and y rows
 * northward from 0 to ny-1.  On the conformal maps one grid step at the
 * centre spans dx (across) and dy (along the meridian) degrees of arc; on
 * the latitude-longitude map dx degrees of longitude and dy of latitude.
 * A polar stereographic map is centred on the pole of the hemisphere of
 * its first parameter (else of its centre), its vertical meridian being
 * the second parameter (else the centre's longitude).  A Lambert map takes
 * its first parameter as standard latitude (else the centre's), a
 * further parameter as second standard latitude, and becomes Mercator
 * when its cone flattens.
 *
 * State: the one transformation set up last.  MAP_setup warns and answers
 * -1 for another projection or an incomplete grid; the transformation
 * then places no point until the next successful set-up.
 */
#include "kem.h"

#include <cmath>

namespace {

constexpr double deg = M_PI / 180.0;

enum class Kind { none, polar, latlon, mercator, lambert };

struct Map {
    Kind kind = Kind::none;
    double lon0 = 0;           /* central meridian, radians */
    double south = 1;          /* -1 for a map of the southern hemisphere (polar) */
    double n = 0, F = 0;       /* cone constant and scale of the Lambert map */
    double xc = 0, yc = 0;     /* plane position of the domain centre */
    double ux = 1, uy = 1;     /* plane length of one grid step */
    double gx = 0, gy = 0;     /* grid position of the centre */
    double xmax = 0, ymax = 0; /* last column and row */
};

Map map;

bool missing(float v) {
    return v == KEM_MISSING;
}

/* Longitude difference in radians, within -pi to pi. */
double wrap(double dlon) {
    return std::remainder(dlon, 2 * M_PI);
}

double cone_tan(double phi) {
    return std::tan(M_PI / 4 + phi / 2);
}

/* Plane position of a point; false where the map has no place for it. */
bool plane(double lat, double lon, double &X, double &Y) {
    double phi = lat * deg, dl = wrap(lon * deg - map.lon0);
    switch (map.kind) {
    case Kind::latlon:
        X = dl / deg;
        Y = lat;
        return true;
    case Kind::polar: {
        double s = map.south;
        if (1 + s * std::sin(phi) < 1e-9)
            return false;
        double rho = 2 * std::tan(M_PI / 4 - s * phi / 2);
        X = rho * std::sin(dl);
        Y = -s * rho * std::cos(dl);
        return true;
    }
    case Kind::mercator:
        if (std::fabs(lat) > 89.999)
            return false;
        X = dl;
        Y = std::log(cone_tan(phi));
        return true;
    case Kind::lambert: {
        /* The pole the cone opens to is its apex (rho 0), on either
           hemisphere; the other pole has no place. */
        double rho = map.F * std::pow(cone_tan(phi), -map.n), theta = map.n * dl;
        if (!std::isfinite(rho) || std::fabs(rho) >= std::fabs(map.F) * 1e12)
            return false;
        X = rho * std::sin(theta);
        Y = -rho * std::cos(theta);
        return std::isfinite(X) && std::isfinite(Y);
    }
    default:
        return false;
    }
}

/* Scale factor of the conformal map at a latitude. */
double scale_at(double lat) {
    double phi = lat * deg, c = std::cos(phi);
    switch (map.kind) {
    case Kind::polar:
        return 2 / (1 + map.south * std::sin(phi));
    case Kind::mercator:
        return c > 1e-9 ? 1 / c : 1;
    case Kind::lambert: {
        double rho = map.F / std::pow(cone_tan(phi), map.n);
        return c > 1e-9 ? std::fabs(map.n * rho / c) : 1;
    }
    default:
        return 1;
    }
}

/* The cone of a Lambert map; a flat cone makes it Mercator. */
void set_cone(const Domain &d) {
    double p1 = (missing(d.plat) ? d.clat : d.plat) * deg;
    double p2 = missing(d.param[0]) ? p1 : d.param[0] * deg;
    double n = std::sin(p1);
    if (std::fabs(p1 - p2) > 1e-9)
        n = std::log(std::cos(p1) / std::cos(p2)) / std::log(cone_tan(p2) / cone_tan(p1));
    if (!(std::fabs(n) > 1e-6) || !std::isfinite(n)) {
        map.kind = Kind::mercator;
        return;
    }
    map.n = n;
    map.F = std::cos(p1) * std::pow(cone_tan(p1), n) / n;
}

Kind kind_of(int proj) {
    switch (proj) {
    case 1:
        return Kind::polar;
    case 2:
        return Kind::latlon;
    case 3:
        return Kind::mercator;
    case 4:
        return Kind::lambert;
    default:
        return Kind::none;
    }
}

bool grid_complete(const Domain &d) {
    float dx = missing(d.dx) ? d.dy : d.dx, dy = missing(d.dy) ? d.dx : d.dy;
    return !missing(d.clat) && !missing(d.clon) && std::fabs(d.clat) <= 90 && d.nx >= 1 &&
           d.ny >= 1 && dx > 0 && dy > 0 && std::isfinite(dx) && std::isfinite(dy);
}

/* Plane lengths of one grid step and the plane position of the centre. */
bool place_grid(const Domain &d) {
    double dx = missing(d.dx) ? d.dy : d.dx, dy = missing(d.dy) ? d.dx : d.dy;
    if (!plane(d.clat, d.clon, map.xc, map.yc))
        return false;
    double k = map.kind == Kind::latlon ? 1 / deg : scale_at(d.clat);
    map.ux = k * dx * deg;
    map.uy = k * dy * deg;
    map.xmax = d.nx - 1;
    map.ymax = d.ny - 1;
    map.gx = map.xmax / 2;
    map.gy = map.ymax / 2;
    return true;
}

} // namespace

int MAP_setup(const Domain *domain) {
    map = Map{};
    if (domain == nullptr || !grid_complete(*domain)) {
        MESS_print(M_warn, "MAP_setup: Incomplete plot domain\n");
        return -1;
    }
    const Domain &d = *domain;
    map.kind = kind_of(d.proj);
    if (map.kind == Kind::none) {
        MESS_print(M_warn, "MAP_setup: Map projection %d is not supported here\n", d.proj);
        return -1;
    }
    map.lon0 = (map.kind == Kind::latlon || missing(d.plon) ? d.clon : d.plon) * deg;
    bool south = (!missing(d.plat) && d.plat != 0) ? d.plat < 0 : d.clat < 0;
    map.south = south ? -1 : 1;
    if (map.kind == Kind::lambert)
        set_cone(d);
    if (!place_grid(d)) {
        map = Map{};
        MESS_print(M_warn, "MAP_setup: Incomplete plot domain\n");
        return -1;
    }
    return 0;
}

int MAP_ll_to_xy(float lat, float lon, float *x, float *y) {
    double X, Y;
    if (map.kind == Kind::none || !(std::fabs(lat) <= 90) || !std::isfinite(lon) ||
        !plane(lat, lon, X, Y))
        return -1;
    if (x != nullptr)
        *x = static_cast<float>(map.gx + (X - map.xc) / map.ux);
    if (y != nullptr)
        *y = static_cast<float>(map.gy + (Y - map.yc) / map.uy);
    return 0;
}

int MAP_inside(float x, float y) {
    if (map.kind == Kind::none)
        return 0;
    return x >= 0 && x <= map.xmax && y >= 0 && y <= map.ymax ? 1 : 0;
}
