/*
 * End-to-end tests of kemcity on the bundled data (data/): the lookups a
 * new user makes first, through the station database and the raw tables.
 */
#include "kemcity_run.h"

namespace {

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
};

TEST_F(BundledData, OHareWithItsColumnNames) {
    EXPECT_EQ(lookup({"-in", "dbase", "-me", "out1", "KORD"}),
              std::string(banner) + "Opening: sao.cty\n" +
                  "Name=Chicago_O'Hare ST=IL CN=US ID=KORD P=0 Lat=41.98 Lon=-87.92 "
                  "Elev=-9999 WMO=-9999 \n");
}

TEST_F(BundledData, StationsOfAStateUpToAPriority) {
    EXPECT_EQ(lookup({"-in", "dbase", "-ou", "ID", "ST=IN:P<0"}), "KFWA \nKHUF \nKIND \n");
    /* The bound is included: P<3 keeps the priority-3 station KC62, P<2 does not. */
    std::string ids = lookup({"-in", "dbase", "-ou", "ID", "ST=IN:P<3"});
    EXPECT_EQ(kemtest::count_of(ids, "\n"), 46u);
    for (const char *id : {"KIND \n", "KSBN \n", "KGYY \n", "KC62 \n"})
        EXPECT_NE(ids.find(id), std::string::npos) << id;
    ids = lookup({"-in", "dbase", "-ou", "ID", "ST=IN:P<2"});
    EXPECT_EQ(kemtest::count_of(ids, "\n"), 28u);
    EXPECT_EQ(ids.find("KC62"), std::string::npos);
}

TEST_F(BundledData, RadiusAroundOHare) {
    EXPECT_EQ(lookup({"-in", "dbase", "-ou", "ID,Name", "RA<41.98:-87.90:30"}),
              "K06C Chicago_schaumburg \nKMDW Chicago_Midway \nKORD Chicago_O'Hare \n"
              "KPWK Chicago_Executive \n");
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
