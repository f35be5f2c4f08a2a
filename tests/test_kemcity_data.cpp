/*
 * End-to-end tests of kemcity on the bundled data (data/): the lookups a
 * new user makes first, through the station database and the raw tables,
 * and what a meteorologist must be able to trust of the stations:
 * positions, elevations, station numbers, priorities and names.
 */
#include "kemcity_run.h"

#include <cmath>
#include <map>
#include <set>

namespace {

/* One station as the whole listing shows it. */
struct Station {
    std::string id, country, state;
    int prior = 0;
    double lat = 0, lon = 0;
    int elev = 0, wmo = 0;
    bool located() const { return lat > -9000 && lon > -9000; }
};

/* Great-circle distance in km. */
double km(double lat1, double lon1, double lat2, double lon2) {
    const double rad = M_PI / 180;
    double h = std::pow(std::sin((lat2 - lat1) * rad / 2), 2) +
               std::cos(lat1 * rad) * std::cos(lat2 * rad) *
                   std::pow(std::sin((lon2 - lon1) * rad / 2), 2);
    return 2 * 6371 * std::asin(std::min(1.0, std::sqrt(h)));
}

class BundledData : public KemcityTest {
  protected:
    /* A plain lookup on the bundled data that must succeed quietly. */
    std::string lookup(std::vector<std::string> args) {
        args.insert(args.begin(), {"-fp", KEM_BUNDLED_DATA});
        RunResult result = run(args);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.status, 0);
        return result.out;
    }

    /* Every station of the database, by identifier. */
    std::map<std::string, Station> stations() {
        std::istringstream lines(lookup({"-in", "dbase", "-ou", "ID,CN,ST,P,Lat,Lon,Elev,WMO"}));
        std::map<std::string, Station> all;
        Station s;
        while (lines >> s.id >> s.country >> s.state >> s.prior >> s.lat >> s.lon >> s.elev >>
               s.wmo)
            all[s.id] = s;
        return all;
    }

    /* The station that one identifier or number names: "ID Name". */
    std::string named(const std::string &key) {
        return lookup({"-in", "dbase", "-ou", "ID,Name", key});
    }
};

TEST_F(BundledData, OHareWithItsColumnNames) {
    EXPECT_EQ(lookup({"-in", "dbase", "-me", "out1", "KORD"}),
              std::string(banner) + "Opening: sao.cty\n" +
                  "Name=Chicago_O'Hare_Intl ST=IL CN=US ID=KORD P=0 Lat=41.98 Lon=-87.92 "
                  "Elev=205 WMO=72530 \n");
}

TEST_F(BundledData, StationsOfAStateUpToAPriority) {
    EXPECT_EQ(lookup({"-in", "dbase", "-ou", "ID", "ST=IN:P<0"}), "KIND \n");
    /* The bound is included: P<1 keeps the priority-1 airports. */
    EXPECT_EQ(lookup({"-in", "dbase", "-ou", "ID", "ST=IN:P<1"}),
              "KEVV \nKFWA \nKIND \nKSBN \n");
    std::string ids = lookup({"-in", "dbase", "-ou", "ID", "ST=IN:P<3"});
    EXPECT_EQ(kemtest::count_of(ids, "\n"), 46u);
    for (const char *id : {"KIND \n", "KSBN \n", "KGYY \n", "KAID \n"})
        EXPECT_NE(ids.find(id), std::string::npos) << id;
    ids = lookup({"-in", "dbase", "-ou", "ID", "ST=IN:P<2"});
    EXPECT_EQ(kemtest::count_of(ids, "\n"), 12u);
    EXPECT_EQ(ids.find("KAID"), std::string::npos);
}

TEST_F(BundledData, RadiusAroundOHare) {
    EXPECT_EQ(lookup({"-in", "dbase", "-ou", "ID,Name", "RA<41.98:-87.90:30"}),
              "K06C Chicago_schaumburg \nKMDW Chicago_Midway \nKORD Chicago_O'Hare_Intl \n"
              "KPWK Chicago_Executive \n");
}

/* Stations that the old data put from 38 km to 3,600 km away, against the
   aerodrome reference points that the aviation authorities publish. */
TEST_F(BundledData, PositionsOnceFarOffAreTheAirports) {
    const struct {
        const char *id;
        double lat, lon;
    } published[] = {
        {"PAOR", 62.9613, -141.9292}, /* Northway: the sign of its longitude */
        {"KFHU", 31.5881, -110.3447}, /* Fort Huachuca, Libby AAF: its latitude */
        {"EGLC", 51.5053, 0.0553},    /* London City */
        {"ZBAA", 40.0801, 116.5846},  /* Beijing Capital */
        {"MNBL", 11.9908, -83.7741},  /* Bluefields */
        {"MMML", 32.6306, -115.2419}, /* Mexicali */
        {"RPMR", 6.0580, 125.0961},   /* General Santos */
        {"LDPL", 44.8935, 13.9222},   /* Pula */
        {"LFPN", 48.7519, 2.1061},    /* Toussus-le-Noble */
        {"KBPT", 29.9508, -94.0207},  /* Beaumont/Port Arthur, Jack Brooks */
    };
    std::map<std::string, Station> all = stations();
    for (const auto &p : published) {
        ASSERT_TRUE(all.count(p.id)) << p.id;
        const Station &s = all[p.id];
        EXPECT_LT(km(s.lat, s.lon, p.lat, p.lon), 3.0) << p.id << " at " << s.lat << " " << s.lon;
    }
}

/* A state's extent: its counties' and forecast zones' centroids, widened by
   2.5 degrees (offshore platforms lie that far out); longitudes taken
   around the first point, for the Aleutians beyond the 180th meridian. */
struct Extent {
    double ref = 0, south = 90, north = -90, west = 1e9, east = -1e9;
    bool empty = true;
    double around(double lon) const { return std::remainder(lon - ref, 360.0) + ref; }
    void add(double lat, double lon) {
        if (empty)
            ref = lon;
        empty = false;
        south = std::min(south, lat), north = std::max(north, lat);
        west = std::min(west, around(lon)), east = std::max(east, around(lon));
    }
    bool holds(double lat, double lon) const {
        const double margin = 2.5;
        return lat > south - margin && lat < north + margin && around(lon) > west - margin &&
               around(lon) < east + margin;
    }
};

TEST_F(BundledData, NoUnitedStatesStationOutsideItsState) {
    std::map<std::string, Extent> states;
    for (const char *kind : {"cnty", "zone"}) {
        std::istringstream rows(lookup({"-in", kind, "-ou", "ST,Lat,Lon"}));
        std::string st;
        double lat, lon;
        while (rows >> st >> lat >> lon)
            if (lat > -9000)
                states[st].add(lat, lon);
    }
    ASSERT_GE(states.size(), 50u);
    int checked = 0;
    for (const auto &[id, s] : stations()) {
        if (s.country != "US" || !s.located())
            continue;
        /* Only the Pacific territories have neither counties nor zones. */
        if (!states.count(s.state)) {
            EXPECT_TRUE(s.state == "GU" || s.state == "MP" || s.state == "UM") << id;
            continue;
        }
        EXPECT_TRUE(states[s.state].holds(s.lat, s.lon))
            << id << " " << s.state << " " << s.lat << " " << s.lon;
        ++checked;
    }
    EXPECT_GT(checked, 2000);
}

/* A station without a position is one the report names, with the reason;
   rows with neither name nor position are gone. */
TEST_F(BundledData, EveryStationHasAPositionOrIsNamedInTheReport) {
    std::istringstream report(kemtest::read_file(std::string(KEM_BUNDLED_DATA) + "/sao.report"));
    std::set<std::string> accounted;
    std::string line, section;
    while (std::getline(report, line)) {
        if (line.empty() || line[0] != ' ')
            section = line;
        else if (section.rfind("Flagged", 0) == 0 || section.rfind("Without position", 0) == 0)
            accounted.insert(line.substr(2, line.find(' ', 2) - 2));
    }
    int missing = 0;
    for (const auto &[id, s] : stations())
        if (!s.located()) {
            ++missing;
            EXPECT_TRUE(accounted.count(id)) << id;
        }
    EXPECT_EQ(static_cast<size_t>(missing), accounted.size());
    /* KS32 says Kansas and lies in North Dakota. */
    EXPECT_TRUE(accounted.count("KS32"));
    EXPECT_EQ(lookup({"-in", "dbase", "-ou", "ID", "Unknown"}), "");
    EXPECT_EQ(lookup({"-in", "dbase", "-ou", "ID", "AGGG"}), "");
}

TEST_F(BundledData, ElevationsAndStationNumbers) {
    std::map<std::string, Station> all = stations();
    size_t elevations = 0, numbers = 0;
    for (const auto &[id, s] : all) {
        elevations += s.elev != -9999;
        numbers += s.wmo != -9999;
    }
    EXPECT_GE(elevations, 3000u);
    EXPECT_GE(numbers, 1000u);
    EXPECT_NEAR(all["KDEN"].elev, 1656, 10);
    EXPECT_NEAR(all["KORD"].elev, 203, 10);

    /* The lookup that users of station tables ask for most: by number. */
    const struct {
        const char *key, *found;
    } by_number[] = {
        {"72530", "KORD Chicago_O'Hare_Intl \n"},
        {"03772", "EGLL London_Heathrow \n"},
        {"72565", "KDEN Denver_Intl \n"},
        {"WMO=03772", "EGLL London_Heathrow \n"},
        {"WMO=72530", "KORD Chicago_O'Hare_Intl \n"},
    };
    for (const auto &n : by_number)
        EXPECT_EQ(named(n.key), n.found) << n.key;
}

TEST_F(BundledData, BusiestAirportsComeFirst) {
    std::map<std::string, Station> all = stations();
    for (const char *id : {"KATL", "OMDB", "KDFW", "EGLL", "RJTT", "KDEN", "LTFM", "KLAX", "KORD",
                           "VIDP", "LFPG", "KJFK", "EHAM", "EDDF", "ZGGG", "LEMD", "WSSS", "ZBAA",
                           "VTBS", "RKSI"}) {
        ASSERT_TRUE(all.count(id)) << id;
        EXPECT_EQ(all[id].prior, 0) << id;
    }
    /* A small field no longer outranks them. */
    EXPECT_GT(all["LERL"].prior, 0);
}

/* Outside the United States ST is the ISO 3166-2 subdivision, where its
   code fits: Canada's provinces, Australia's two-letter states. */
TEST_F(BundledData, SubdivisionsOutsideTheUnitedStates) {
    std::string ontario = lookup({"-in", "dbase", "-ou", "ID,Name", "ST=ON"});
    EXPECT_NE(ontario.find("CYYZ Toronto_Pearson_Intl \n"), std::string::npos);
    EXPECT_EQ(lookup({"-in", "dbase", "-ou", "ID,Name", "ST=NS:P<0"}),
              "CYHZ Halifax_Stanfield \n");
    EXPECT_EQ(lookup({"-in", "dbase", "-ou", "ID,ST,CN", "YPPH"}), "YPPH WA AU \n");
    const std::set<std::string> provinces = {"AB", "BC", "MB", "NB", "NL", "NS", "NT",
                                             "NU", "ON", "PE", "QC", "SK", "YT", "--"};
    for (const auto &[id, s] : stations()) {
        if (s.country == "CA") {
            EXPECT_TRUE(provinces.count(s.state)) << id << " " << s.state;
        }
    }
}

/* Names within the 20-character field: cut at a word end, common words
   short, and the airport's own name where the old one named a town. */
TEST_F(BundledData, NamesOfWholeWords) {
    const struct {
        const char *id, *name;
    } names[] = {
        {"KLAX", "Los_Angeles_Intl"},       {"VTBS", "Bangkok_Suvarnabhumi"},
        {"ZBAA", "Beijing_Capital_Intl"},   {"LFPG", "Charles_de_Gaulle"},
        {"CYYZ", "Toronto_Pearson_Intl"},   {"RJGG", "Chubu_Centrair_Intl"},
        {"VECX", "Kanpur"},                 {"CYVR", "Vancouver_Intl"},
    };
    for (const auto &n : names)
        EXPECT_EQ(named(n.id), std::string(n.id) + " " + n.name + " \n");
}

TEST_F(BundledData, ForecastZonesOfAState) {
    std::string zones = lookup({"-in", "zone", "ST=IN"});
    EXPECT_EQ(zones.substr(0, zones.find('\n') + 1),
              "INZ001 Lake_County IN 41.4156 -87.3817 KIGQ \n");
    EXPECT_EQ(kemtest::count_of(zones, "\n"), 95u);
    EXPECT_EQ(kemtest::count_of(zones, " IN "), 95u);
}

TEST_F(BundledData, CitiesCountiesStatesAndHandMadeTables) {
    EXPECT_EQ(lookup({"-in", "city", "-me", "out1", "chicago_il"}),
              std::string(banner) + "Opening: cities.raw\n" +
                  "ID=1714000 Name=Chicago ST=IL Lat=41.8370 Lon=-87.6849 Station=KMDW "
                  "Zone=ILZ104 \n");
    EXPECT_EQ(lookup({"-in", "cnty", "-ou", "ID,ST", "Cook_"}),
              "13075 GA \n17031 IL \n27031 MN \n");
    EXPECT_EQ(lookup({"-in", "state", "-ou", "Name,ID", "ST=IN"}), "Indiana 18 \n");
    EXPECT_EQ(lookup({"-in", "upair", "ILX"}), "ILX Lincoln IL 40.15 -89.34 74560 \n");
    EXPECT_EQ(lookup({"-in", "radar", "-ou", "ID", "ST=IN"}), "KIND \nKIWX \nKVWX \n");
}

/* The bundled tables keep within what the raw-table reader takes whole. */
TEST_F(BundledData, EveryRowFitsTheReader) {
    for (const char *table :
         {"cities.raw", "counties.raw", "states.raw", "zones.raw", "upair.raw", "radar.raw"}) {
        std::istringstream lines(kemtest::read_file(std::string(KEM_BUNDLED_DATA) + "/" + table));
        std::string line;
        for (int n = 1; std::getline(lines, line); ++n)
            ASSERT_LT(line.size(), 160u) << table << " line " << n;
    }
}

} // namespace
