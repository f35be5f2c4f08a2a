// Tests of the map transformation behind the station location table.
#include "support.h"

#include <cmath>
#include <set>
#include <sstream>

using kemtest::in_child;

namespace {

constexpr double rad = M_PI / 180;

Domain domain(int proj, float plat, float clat, float clon, int nx, int ny, float dx) {
    Domain d{};
    d.proj = proj;
    d.plat = plat;
    d.plon = KEM_MISSING;
    for (float &p : d.param)
        p = KEM_MISSING;
    d.clat = clat;
    d.clon = clon;
    d.nx = nx;
    d.ny = ny;
    d.dx = d.dy = dx;
    return d;
}

/* The north polar stereographic plane, by projecting the unit sphere from
   the south pole, the vertical meridian pointing down. */
void stereo(double lat, double lon, double lon0, double &X, double &Y) {
    double px = std::cos(lat * rad) * std::cos((lon - lon0) * rad);
    double py = std::cos(lat * rad) * std::sin((lon - lon0) * rad);
    double pz = std::sin(lat * rad);
    X = 2 * py / (1 + pz);
    Y = -2 * px / (1 + pz);
}

} // namespace

TEST(Map, OneGridStepIsDxDegreesAtTheCentre) {
    struct Case {
        int proj;
        float plat, clat, clon;
    } cases[] = {{1, KEM_MISSING, 39, -97}, {1, -60, -70, 140}, {2, KEM_MISSING, 10, 170},
                 {3, KEM_MISSING, 20, -60}, {4, 25, 40, -100},  {4, 0, 5, 10}};
    for (const Case &c : cases) {
        in_child([&] {
            Domain d = domain(c.proj, c.plat, c.clat, c.clon, 25, 17, 1.5);
            ASSERT_EQ(MAP_setup(&d), 0) << c.proj;
            float x, y;
            ASSERT_EQ(MAP_ll_to_xy(c.clat, c.clon, &x, &y), 0);
            EXPECT_NEAR(x, 12, 1e-4) << c.proj;
            EXPECT_NEAR(y, 8, 1e-4) << c.proj;
            EXPECT_EQ(MAP_ll_to_xy(c.clat + 0.15f, c.clon, &x, &y), 0);
            EXPECT_NEAR(y, 8.1, 2e-3) << c.proj; /* northward is up */
            EXPECT_NEAR(x, 12, 2e-3) << c.proj;
            float east = c.proj == 2 ? 0.15f : 0.15f / std::cos(c.clat * rad);
            EXPECT_EQ(MAP_ll_to_xy(c.clat, c.clon + east, &x, &y), 0);
            EXPECT_NEAR(x, 12.1, 2e-3) << c.proj; /* eastward is right */
            EXPECT_EQ(MAP_inside(0, 16), 1);
            EXPECT_EQ(MAP_inside(24.01f, 8), 0);
            EXPECT_EQ(MAP_inside(5, -0.01f), 0);
        });
    }
}

TEST(Map, UnusableDomainsAreRefusedWithAWarning) {
    struct Case {
        Domain d;
        const char *warning;
    } cases[] = {{domain(9, 0, 40, -100, 25, 17, 1), "Map projection 9 is not supported here"},
                 {domain(1, 0, KEM_MISSING, -100, 25, 17, 1), "Incomplete plot domain"},
                 {domain(1, 0, 40, -100, 25, KEM_MISSING, 1), "Incomplete plot domain"},
                 {domain(1, 0, 40, -100, 25, 17, 0), "Incomplete plot domain"}};
    for (const Case &c : cases) {
        kemtest::Captured out = in_child([&] {
            EXPECT_EQ(MAP_setup(&c.d), -1);
            float x, y;
            EXPECT_EQ(MAP_ll_to_xy(40, -100, &x, &y), -1);
            EXPECT_EQ(MAP_inside(0, 0), 0);
        });
        EXPECT_NE(out.err.find(c.warning), std::string::npos) << out.err;
    }
    in_child([] {
        Domain d = domain(3, 0, 0, 0, 25, 17, 1);
        ASSERT_EQ(MAP_setup(&d), 0);
        EXPECT_EQ(MAP_ll_to_xy(90, 0, nullptr, nullptr), -1); /* no place on Mercator */
        EXPECT_EQ(MAP_ll_to_xy(91, 0, nullptr, nullptr), -1);
    });
}

/* The built-in "us" region, stored over the fixture database, holds the
   stations that an independent projection puts on its grid. */
TEST(Map, StoredUsDomainHoldsExactlyTheStationsInside) {
    const std::string fixture = std::string(KEM_TEST_DATA) + "/sao.cty";
    Domain us = domain(1, KEM_MISSING, 39, -97, 25, 17, 2.3f);
    us.plon = -97;
    double xc, yc, xn, yn;
    stereo(39, -97, -97, xc, yc);
    stereo(39.01, -97, -97, xn, yn);
    double unit = std::hypot(xn - xc, yn - yc) / 0.01 * 2.3; /* plane length of one step */
    std::set<std::string> inside, outside;
    std::ifstream in(fixture);
    for (std::string line; std::getline(in, line);) {
        std::string name, state, region, id, prior;
        double lat, lon;
        std::istringstream(line) >> name >> state >> region >> id >> prior >> lat >> lon;
        double X, Y;
        stereo(lat, lon, -97, X, Y);
        double x = 12 + (X - xc) / unit, y = 8 + (Y - yc) / unit;
        bool on_grid = x >= 0 && x <= 24 && y >= 0 && y <= 16;
        (on_grid ? inside : outside).insert(id);
    }
    ASSERT_GT(outside.size(), 5u);
    in_child([&] {
        CTY_store(fixture.c_str(), 2, &us, 10);
        std::set<std::string> stored;
        TAB_table *tab = CTY_get_table();
        TAB_first(tab);
        while (auto *rec = static_cast<stat_XY_data *>(TAB_next(tab)))
            stored.insert(rec->loc.id);
        EXPECT_EQ(stored, inside);
        CTY_clear();
    });
}

/* A Lambert cone has its apex at the pole it opens to, in the south as in
   the north: the pole has its place on the grid. */
TEST(Map, LambertGridsPlaceThePoleOfTheirHemisphere) {
    for (int sign : {1, -1}) {
        in_child([&] {
            Domain d{};
            std::string text = sign > 0 ? "lc:60:0,80,0,41,41,1.0,1.0" : "lc:-60:0,-80,0,41,41,1.0,1.0";
            ASSERT_EQ(DOM_decode(text.c_str(), &d), 1) << text;
            ASSERT_EQ(MAP_setup(&d), 0) << text;
            float x = 0, y = 0;
            ASSERT_EQ(MAP_ll_to_xy(sign * 90.0f, 0, &x, &y), 0) << text;
            EXPECT_EQ(MAP_inside(x, y), 1) << text << " " << x << "," << y;
            EXPECT_NEAR(x, 20, 1e-3) << text; /* on the central meridian */
            EXPECT_NEAR(y, 20 + sign * 10, 2) << text; /* ten degrees poleward */
            EXPECT_EQ(MAP_ll_to_xy(-sign * 90.0f, 0, &x, &y), -1) << text; /* the other pole */
        });
    }
}

/* The grid runs from column 0 to nx-1 and row 0 to ny-1, both ends
   included: a point on the last column or row is on the grid. */
TEST(Map, TheLastColumnAndRowAreInside) {
    struct Case {
        float x, y;
        int inside;
    } cases[] = {{0, 0, 1},      {24, 0, 1},      {0, 16, 1},         {24, 16, 1},
                 {12, 16, 1},    {24, 8, 1},      {24.01f, 0, 0},     {0, 16.01f, 0},
                 {-0.01f, 8, 0}, {12, -0.01f, 0}, {24.01f, 16.01f, 0}};
    in_child([&] {
        Domain d = domain(2, KEM_MISSING, 40, -100, 25, 17, 1);
        ASSERT_EQ(MAP_setup(&d), 0);
        for (const Case &c : cases)
            EXPECT_EQ(MAP_inside(c.x, c.y), c.inside) << c.x << "," << c.y;
    });
}

/* With different steps across and along the meridian, x follows dx and
   y follows dy on every projection. */
TEST(Map, ColumnsFollowDxAndRowsFollowDy) {
    struct Case {
        int proj;
        float plat, clat, clon;
    } cases[] = {{1, KEM_MISSING, 39, -97},
                 {2, KEM_MISSING, 40, -100},
                 {3, KEM_MISSING, 20, -60},
                 {4, 25, 40, -100}};
    for (const Case &c : cases) {
        in_child([&] {
            Domain d = domain(c.proj, c.plat, c.clat, c.clon, 5, 5, 1);
            d.dy = 2;
            ASSERT_EQ(MAP_setup(&d), 0);
            float x, y;
            float east = c.proj == 2 ? 0.2f : 0.2f / std::cos(c.clat * rad);
            ASSERT_EQ(MAP_ll_to_xy(c.clat + 0.2f, c.clon + east, &x, &y), 0);
            EXPECT_NEAR(x, 2.2, 2e-3) << c.proj;
            EXPECT_NEAR(y, 2.1, 2e-3) << c.proj;
        });
    }
}

/* The vertical meridian (plon) need not pass through the centre: on it
   every point stands in one column, whatever its latitude. */
TEST(Map, TheVerticalMeridianIsOneColumn) {
    struct Case {
        int proj;
        float plat;
    } cases[] = {{1, 60}, {4, 25}, {4, -25}};
    for (const Case &c : cases) {
        in_child([&] {
            Domain d = domain(c.proj, c.plat, c.plat < 0 ? -40 : 40, -97, 25, 17, 1);
            d.plon = -105;
            ASSERT_EQ(MAP_setup(&d), 0);
            float x1, x2, y;
            ASSERT_EQ(MAP_ll_to_xy(c.plat < 0 ? -30 : 30, -105, &x1, &y), 0);
            ASSERT_EQ(MAP_ll_to_xy(c.plat < 0 ? -50 : 50, -105, &x2, &y), 0);
            EXPECT_NEAR(x1, x2, 1e-3) << c.proj << " " << c.plat;
            ASSERT_EQ(MAP_ll_to_xy(c.plat < 0 ? -50 : 50, -97, &x2, &y), 0);
            EXPECT_GT(x2 - x1, 1) << c.proj << " " << c.plat; /* -97 lies east of it */
        });
    }
}

/* A Lambert map with two standard latitudes is true to one scale on both:
   a degree of latitude spans as many rows at 30 as at 60 degrees. */
TEST(Map, ALambertMapKeepsOneScaleOnBothStandardLatitudes) {
    in_child([] {
        Domain d = domain(4, 30, 45, -100, 25, 17, 1);
        d.param[0] = 60;
        ASSERT_EQ(MAP_setup(&d), 0);
        float x, south, north;
        auto rows = [&](float lat) {
            EXPECT_EQ(MAP_ll_to_xy(lat - 0.05f, -100, &x, &south), 0);
            EXPECT_EQ(MAP_ll_to_xy(lat + 0.05f, -100, &x, &north), 0);
            return (north - south) * 10;
        };
        EXPECT_NEAR(rows(30), rows(60), 1e-3);
        EXPECT_LT(rows(45), rows(30) - 0.01); /* between them the map shrinks */
    });
}
