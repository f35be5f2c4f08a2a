/*
 * End-to-end tests of kemcity on the station database: selection
 * expressions, columns, the database options and their failures.
 */
#include "kemcity_run.h"

#include <cmath>

namespace {

/* The identifiers (fourth column) of the printed records, in order. */
std::string ids(const RunResult &result) {
    std::istringstream lines(result.out);
    std::string line, list;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string word;
        for (int i = 0; i < 4; i++)
            words >> word;
        list += (list.empty() ? "" : " ") + word;
    }
    return list;
}

class Database : public KemcityTest {
  protected:
    void SetUp() override {
        KemcityTest::SetUp();
        copy_fixture("sao.cty");
    }
    /* Runs kemcity in this process's place, on the standard streams it has. */
    int run_here(const std::vector<std::string> &args) {
        if (chdir(dir().c_str()) != 0)
            return 126;
        std::vector<char *> argv{const_cast<char *>(KEMCITY_BIN)};
        for (const std::string &arg : args)
            argv.push_back(const_cast<char *>(arg.c_str()));
        argv.push_back(nullptr);
        std::string path = "kemdefault=" + dir();
        char *envp[] = {path.data(), nullptr};
        execve(KEMCITY_BIN, argv.data(), envp);
        return 127;
    }
    RunResult select(const std::vector<std::string> &values) {
        std::vector<std::string> args = {"-in", "dbase"};
        args.insert(args.end(), values.begin(), values.end());
        RunResult result = run(args);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.status, 0);
        return result;
    }
};

TEST_F(Database, PrintsEveryColumnOfTheSelectedStations) {
    expect_output(run({"-in", "dbase", "72530"}), "Chicago IL US KORD 0 41.98 -87.90 201 72530 \n");
    expect_output(run({"-in", "dbase", "-me", "out1", "kord"}),
                  std::string(banner) + "Opening: sao.cty\n" +
                      "Name=Chicago ST=IL CN=US ID=KORD P=0 Lat=41.98 Lon=-87.90 Elev=201 "
                      "WMO=72530 \n");
    /* Elevations above 9000 are missing; station numbers keep five digits. */
    expect_output(run({"-in", "dbase", "ILX", "EGLL"}),
                  "Lincoln_IL IL US ILX 9 40.15 -89.34 -9999 74560 \n"
                  "London_Heathrow -- GB EGLL 1 51.48 -0.45 25 03772 \n");
}

TEST_F(Database, StateSelections) {
    const char *indiana = "KGYY KIND KSBN KFWA KEVV KLAF KHUF KBMG KMIE";
    EXPECT_EQ(ids(select({"ST=IN"})), indiana);
    EXPECT_EQ(ids(select({"st=in"})), indiana);
    EXPECT_EQ(ids(select({"ST:IN"})), indiana);
    EXPECT_EQ(ids(select({"ST=IN:P<2"})), "KIND KSBN KFWA");
    EXPECT_EQ(ids(select({"ST=IN_US:P>7"})), "KMIE");
    EXPECT_EQ(ids(select({"CN=GB"})), "EGLL");
}

TEST_F(Database, AlternativesSelectAnyMatch) {
    EXPECT_EQ(ids(select({"KORD", "ST=IL"})),
              "KORD KMDW KPWK KDPA KSPI KPIA KRFD KMLI KCMI KUIN ILX KPNT");
    EXPECT_EQ(ids(select({"KSBN", "/KATL", "Seattle"})), "KSBN KATL KSEA");
}

TEST_F(Database, NumbersIdentifiersAndNamePrefixes) {
    EXPECT_EQ(ids(select({"72530"})), "KORD");
    expect_warned(run({"-in", "dbase", "WMO=725"}), "",
                  "Selection value WMO=725: WMO= takes a station number of five digits "
                  "(WMO=03772)\n");
    EXPECT_EQ(ids(select({"WMO=72530"})), "KORD");
    EXPECT_EQ(ids(select({"Chica"})), "KORD KMDW");
    EXPECT_EQ(ids(select({"Chic"})), "");
    EXPECT_EQ(ids(select({"springfield"})), "KSPI KSGF");
}

TEST_F(Database, RangesIncludeTheirBounds) {
    EXPECT_EQ(ids(select({"Lat>40:Lat<45"})),
              "KORD KMDW KPWK KDPA KGYY KENW KPIA KRFD KMLI KCMI ILX KSBN KFWA KLAF KPNT KMIE "
              "KMKE KGRB KRRL KDTW KMSP KDSM KCMH KJFK KBOS KMWN CYYZ");
    EXPECT_EQ(ids(select({"Elev>2000"})), "MMMX");
    EXPECT_EQ(ids(select({"WMO<4000"})), "EGLL");
}

TEST_F(Database, RadiusAroundAPoint) {
    EXPECT_EQ(ids(select({"RA<41.98:-87.9:50"})), "KORD KMDW KPWK KDPA");
    EXPECT_EQ(ids(select({"RA<41.98:-87.9:0"})), "KORD");
    expect_warned(run({"-in", "dbase", "RA<41.98:-87.9"}), "",
                  "Selection value RA<41.98:-87.9: RA< needs a latitude, a longitude and a "
                  "radius in km (RA<lat:lon:km)\n");
}

/* RA< keeps a station exactly when its distance is within the radius, and
   the Dist column shows that same distance: stations from 76 m to 12 km
   around a centre, none within 3 m of a radius, checked against a
   distance computed here. */
TEST_F(Database, RadiusKeepsWhatItsDistanceSays) {
    const double lat0 = 47.02, lon0 = 10.97, rad = M_PI / 180;
    auto km_between = [&](double la, double lo) {
        long double h = powl(sinl((la - lat0) * rad / 2), 2) +
                        cosl(la * rad) * cosl(lat0 * rad) * powl(sinl((lo - lon0) * rad / 2), 2);
        return static_cast<double>(2 * 6371.3L * asinl(sqrtl(h)));
    };
    const double radii[] = {2, 10};
    std::string db;
    std::vector<std::pair<std::string, double>> stations;
    for (int i = 0; i < 60; ++i) {
        double km = 0.076 + i * 0.2013, bearing = i * 2.399;
        char la[32], lo[32], id[8];
        snprintf(la, sizeof la, "%.5f", lat0 + km / 111.2 * std::cos(bearing));
        snprintf(lo, sizeof lo, "%.5f", lon0 + km / 75.8 * std::sin(bearing));
        snprintf(id, sizeof id, "X%03d", i);
        double dist = km_between(std::stof(la), std::stof(lo));
        if (std::fabs(dist - radii[0]) < 0.003 || std::fabs(dist - radii[1]) < 0.003)
            continue;
        stations.emplace_back(id, dist);
        db += std::string("Station              -- AT ") + id + "      5 " + la + " " + lo +
              "  9999 -9999 " + std::to_string(i) + "\n";
    }
    write("ring.cty", db);
    for (double radius : radii) {
        std::string want, dists;
        for (const auto &[id, dist] : stations)
            if (dist <= radius) {
                char text[32];
                snprintf(text, sizeof text, "%.1f", dist);
                want += (want.empty() ? "" : " ") + id;
                dists += id + " " + text + " \n";
            }
        std::string value = "RA<47.02:10.97:" + std::to_string(static_cast<int>(radius));
        RunResult result = run({"-cf", "ring.cty", "-ou", "ID,Dist", value});
        expect_output(result, dists);
    }
}

TEST_F(Database, OutputAndFirstOptions) {
    expect_warned(run({"-in", "dbase", "-ou", "WMO,ID,Elev,Elev,Bogus", "ST=IN:P<1"}),
                  "72438 KIND 241 241 \n",
                  "Output column Bogus: not a column (Name ST CN ID P Lat Lon Elev WMO Dist)\n");
    expect_output(run({"-in", "dbase", "-ou", "all", "-pa", "first", "ST=WI"}),
                  "Kenosha WI US KENW 7 42.60 -87.93 226 72650 \n");
    expect_output(run({"-in", "dbase", "-me", "out1", "-ou", "Lat,Name", "-pa", "first", "Chica"}),
                  std::string(banner) + "Opening: sao.cty\nLat=41.98 Name=Chicago \n");
}

TEST_F(Database, CityFileChoosesTheDatabase) {
    write("db/stations.cty", fixture("sao.cty"));
    expect_output(run({"-cf", "stations.cty", "-fp", "db", "-ou", "ID", "Chica"}),
                  "KORD \nKMDW \n");
    /* The city file wins over the input keyword. */
    expect_output(run({"-in", "zone", "-cf", "db/stations.cty", "-ou", "ID", "Chica"}),
                  "KORD \nKMDW \n");
    expect_output(run({"-ou", "ID", "Chica"}, {"kemcity=db/stations.cty"}), "KORD \nKMDW \n");
    /* An empty name leaves the default database. */
    expect_output(run({"-cf=", "-ou", "ID", "Chica"}), "KORD \nKMDW \n");
}

TEST_F(Database, UnusableDatabaseExitsWithStatus10) {
    RunResult result = run({"-cf", "none", "KORD"});
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "DBase File not found: none\n");
    EXPECT_EQ(result.status, 10);

    result = run({"-in", "dbase", "-fp", "/nonexistent"});
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "CTY_open_file: Database file not found: /nonexistent/sao.cty\n"
                          "DBase File not found: /nonexistent/sao.cty\n");
    EXPECT_EQ(result.status, 10);
}

TEST_F(Database, DamagedRecordsNeverShowStaleFields) {
    write("cut.cty", "Alpha IL US KAAA *3* 41.00 -87.00 200 72000 1\n"
                     "Beta IN US KBBB 4\n");
    expect_output(run({"-cf", "cut.cty"}), "Alpha IL US KAAA 3 41.00 -87.00 200 72000 \n"
                                           "Beta IN US KBBB 4 -9999.00 -9999.00 -9999 -9999 \n");
    write("odd.cty", "Gamma IL US KCCC ******* 41.00 -87.00 200 72000 1\n"
                     "Delta IN US KDDD * 40.00 -86.00 9999 72001 2\n");
    expect_output(run({"-cf", "odd.cty", "-ou", "ID,P,Elev"}),
                  "KCCC -9999 200 \nKDDD -9999 -9999 \n");
}

TEST_F(Database, StandardInputPipesAndLineEndsReadAlike) {
    const std::string all = run({"-in", "dbase"}).out;
    ASSERT_EQ(kemtest::count_of(all, "\n"), 51u);
    expect_output(run({"-cf", "-"}, {}, fixture("sao.cty")), all);
    expect_output(run({"-cf", "|cat sao.cty"}), all);
    std::string crlf;
    for (char c : fixture("sao.cty"))
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    crlf.resize(crlf.size() - 2); /* and no final line end */
    write("crlf.cty", crlf);
    expect_output(run({"-cf", "crlf.cty"}), all);
    expect_output(run({"-cf", "crlf.cty", "-ou", "ID", "ST=IN:P<1", "KMIE"}), "KIND \nKMIE \n");
}

/* Output of many blocks: every value as printf prints it, in file order,
   after the banner, whether a record is formed at once or field by field. */
TEST_F(Database, ManyRecordsPrintAsPrintfWouldAcrossOutputBlocks) {
    std::string file, plain, named, first, lat7;
    char line[160], la[16], lo[16], la2[32], lo2[32];
    for (int i = 0; i < 3000; i++) {
        /* Rounding at the last digit, signs, zero and whole-number edges. */
        snprintf(la, sizeof la, "%7.3f", (i % 179 - 89) + (i % 1000) / 1000.0);
        snprintf(lo, sizeof lo, "%8.3f", -(i % 1800) / 10.0 - 0.005 * (i % 3));
        int elev = i % 9000 - 100, wmo = i * 37 % 100000, prior = i % 10;
        snprintf(line, sizeof line, "N%d IL US K%05d %d %s %s %5d %05d %d\n", i, i, prior, la, lo,
                 elev, wmo, i + 1);
        file += line;
        snprintf(la2, sizeof la2, "%3.2f", double(strtof(la, nullptr)));
        snprintf(lo2, sizeof lo2, "%3.2f", double(strtof(lo, nullptr)));
        snprintf(line, sizeof line, "N%d IL US K%05d %d %s %s %d %05d \n", i, i, prior, la2, lo2,
                 elev, wmo);
        plain += line;
        snprintf(line, sizeof line, "ID=K%05d Lat=%s WMO=%05d \n", i, la2, wmo);
        named += line;
        if (i == 0)
            first = line;
        if (i == 7)
            lat7 = la2;
    }
    write("many.cty", file);
    expect_output(run({"-cf", "many.cty"}), plain);
    expect_output(run({"-cf", "many.cty", "-ou", "ID,Lat,WMO", "-me", "out1"}),
                  std::string(banner) + "Opening: many.cty\n" + named);
    expect_output(run({"-cf", "many.cty", "-ou", "ID,Lat,WMO", "-me", "out1", "-pa", "first"}),
                  std::string(banner) + "Opening: many.cty\n" + first);
    /* A record longer than the buffer keeps for one: formed field by field. */
    std::string list = "ID", wide = "ID=K00007 ";
    for (int i = 0; i < 80; i++)
        list += ",Lat", wide += "Lat=" + lat7 + " ";
    RunResult result = run({"-cf", "many.cty", "-ou", list, "-me", "out1", "K00007"});
    EXPECT_NE(result.out.find(wide + "\n"), std::string::npos);
}

TEST_F(Database, LostOutputFailsTheRun) {
    struct Case {
        const char *name;
        std::vector<std::string> args;
        const char *err;
    } cases[] = {
        {"full", {"-in", "dbase"}, "Output not written: No space left on device\n"},
        {"full", {"-h"}, "Output not written: No space left on device\n"},
        {"full",
         {"-in", "dbase", "-me", "out1,page", "-ba", "KORD"},
         "Output not written: No space left on device\n"},
        {"closed", {"-in", "dbase", "KORD"}, "Output not written: Bad file descriptor\n"},
        {"full", {"-cf", "long.cty", "-pa", "json"}, "Output not written: No space left on device\n"},
        /* Lost in the middle of a long run: the first failure's cause. */
        {"full", {"-cf", "long.cty"}, "Output not written: No space left on device\n"},
        {"closed", {"-cf", "long.cty"}, "Output not written: Bad file descriptor\n"},
    };
    std::string long_file;
    for (int i = 0; i < 400; i++)
        long_file += fixture("sao.cty");
    write("long.cty", long_file);
    for (const Case &c : cases) {
        RunResult result = kemtest::run_in_child([&] {
            if (std::string(c.name) == "full")
                dup2(open("/dev/full", O_WRONLY), 1);
            else
                close(1);
            return run_here(c.args);
        });
        EXPECT_EQ(result.err, c.err) << c.args.back();
        EXPECT_EQ(result.status, 1) << c.args.back();
    }
    /* Nothing to print is no failure. */
    RunResult result = kemtest::run_in_child([&] {
        close(1);
        return run_here({"-in", "dbase", "NOSUCH"});
    });
    expect_output(result, "");
}

} // namespace
