/*
 * End-to-end tests of kemcity's Dist column and its "nearest" and "json"
 * flags: distances, the order of the stations, and JSON lines read back
 * by a real JSON parser (python3's json module).
 */
#include "kemcity_run.h"

namespace {

/* Reads every line of `file` (below the scratch directory) as JSON; a
   table or database given as `source` gives the names (first word of
   each record) that the "Name" keys must hold, decoded with U+FFFD for
   malformed UTF-8.  Prints the number of objects read. */
constexpr const char *json_reader = R"(
import json, sys
objects = [json.loads(line) for line in open(sys.argv[1], 'rb')]
if len(sys.argv) > 2:
    names = [l.split()[0].decode('utf-8', 'replace') for l in open(sys.argv[2], 'rb')]
    assert [o['Name'] for o in objects] == names, ([o['Name'] for o in objects], names)
print(len(objects))
)";

class Flags : public KemcityTest {
  protected:
    std::string lookup(std::vector<std::string> args, const std::string &err = "") {
        args.insert(args.begin(), {"-fp", KEM_BUNDLED_DATA});
        RunResult result = run(args);
        EXPECT_EQ(result.err, err);
        EXPECT_EQ(result.status, 0);
        return result.out;
    }

    /* The number of JSON objects in `out`, or -1 when a line is no JSON. */
    std::string parse_json(const std::string &out, const std::string &source = "") {
        write("out.json", out);
        RunResult result = kemtest::run_in_child([&] {
            execlp("python3", "python3", "-c", json_reader, (dir() + "/out.json").c_str(),
                   source.empty() ? nullptr : source.c_str(), nullptr);
            _exit(127);
        });
        EXPECT_EQ(result.err, "");
        return result.status == 0 ? result.out : "failed";
    }
};

constexpr const char *ohare_radius = "RA<41.98:-87.90:30";

TEST_F(Flags, NearestFirstWithTheirDistances) {
    EXPECT_EQ(lookup({"-in", "dbase", "-pa", "nearest", "-ou", "ID,Dist", ohare_radius}),
              "KORD 1.4 \nKPWK 15.2 \nK06C 16.7 \nKMDW 25.2 \n");
    EXPECT_EQ(lookup({"-in", "dbase", "-pa", "Nearest,FIRST", "-ou", "ID,Dist", ohare_radius}),
              "KORD 1.4 \n");
    /* From O'Hare's own position; Dist also after all columns. */
    EXPECT_EQ(lookup({"-in", "dbase", "-pa", "first,nearest", "-ou", "all,Dist",
                      "RA<41.9833:-87.9167:30"}),
              "Chicago_O'Hare_Intl IL US KORD 0 41.98 -87.92 205 72530 0.0 \n");
    /* Without the flag the file order stays; the first RA< value counts. */
    EXPECT_EQ(lookup({"-in", "dbase", "-ou", "Dist,ID", ohare_radius, "RA<0:0:1"}),
              "16.7 K06C \n25.2 KMDW \n1.4 KORD \n15.2 KPWK \n");
}

TEST_F(Flags, DistancesInDoublePrecisionTiesInFileOrder) {
    write("sao.cty", "Far IL US KFAR 0 40.0100 -88.0000 200 72001 1\n"
                     "Near IL US KNEA 0 40.0027 -88.0000 200 72002 2\n"
                     "Here IL US KHER 0 40.0000 -88.0000 200 72003 3\n"
                     "Same IL US KSAM 0 40.0027 -88.0000 200 72004 4\n"
                     "Lost IL US KLOS 0 -9999 -9999 200 72005 5\n");
    expect_output(run({"-in", "dbase", "-pa", "nearest", "-ou", "ID,Dist", "RA<40:-88:2", "KLOS"}),
                  "KHER 0.0 \nKNEA 0.3 \nKSAM 0.3 \nKFAR 1.1 \nKLOS -9999 \n");
}

TEST_F(Flags, NearestWithoutACentreWarnsAndKeepsTheFileOrder) {
    const std::string warning = "Parameter nearest needs an RA< value: records in file order\n";
    EXPECT_EQ(lookup({"-in", "dbase", "-pa", "nearest,first", "-ou", "ID,Dist", "ST=IL"}, warning),
              "K06C -9999 \n");
    EXPECT_EQ(lookup({"-in", "dbase", "-pa", "json", "-ou", "ID,Dist", "ST=IN:P<1"}),
              "{\"ID\":\"KEVV\",\"Dist\":null}\n{\"ID\":\"KFWA\",\"Dist\":null}\n"
              "{\"ID\":\"KIND\",\"Dist\":null}\n{\"ID\":\"KSBN\",\"Dist\":null}\n");
    EXPECT_EQ(lookup({"-in", "radar", "-pa", "nearest", "-ou", "ID", "KIND"}, warning), "KIND \n");
}

TEST_F(Flags, JsonKeepsBannerAndColumnNamesOut) {
    EXPECT_EQ(lookup({"-in", "dbase", "-me", "out1", "-pa", "JSON,nearest", "KORD"},
                     "Parameter nearest needs an RA< value: records in file order\n"),
              "{\"Name\":\"Chicago_O'Hare_Intl\",\"ST\":\"IL\",\"CN\":\"US\",\"ID\":\"KORD\","
              "\"P\":0,\"Lat\":41.9833,\"Lon\":-87.9167,\"Elev\":205,\"WMO\":72530}\n");
    copy_fixture("sao.cty");
    const std::string none = "Output column None: not a column (Name ST CN ID P Lat Lon Elev "
                             "WMO Dist)\n";
    expect_warned(run({"-in", "dbase", "-pa", "json", "-ou", "WMO,Elev,None", "72530"}),
                  "{\"WMO\":72530,\"Elev\":201}\n", none);
    expect_warned(run({"-in", "dbase", "-pa", "json", "-ou", "None", "72530"}), "{}\n", none);
    expect_output(run({"-in", "dbase", "-pa", "json", "-me", "none", "72530"}), "");
}

TEST_F(Flags, JsonOfTheBundledDataParses) {
    const std::string data = KEM_BUNDLED_DATA;
    EXPECT_EQ(parse_json(lookup({"-in", "dbase", "-pa", "json"})),
              std::to_string(kemtest::count_of(kemtest::read_file(data + "/sao.cty"), "\n")) +
                  "\n");
    for (const char *kind : {"city", "cnty", "state", "zone", "upair", "radar"}) {
        std::string out = lookup({"-in", kind, "-pa", "json"});
        EXPECT_EQ(parse_json(out), std::to_string(kemtest::count_of(out, "\n")) + "\n") << kind;
    }
}

TEST_F(Flags, JsonRoundTripsAwkwardNames) {
    const std::string names[] = {
        "Say_\"hi\"",   "back\\slash\\",   "bell\x01\x1b\x7f", "caf\xc3\xa9_\xe2\x82\xac",
        "bad\xff\xfe",  "cut\xe2\x82x",    "over\xc0\xaf",     "surr\xed\xa0\x80",
        "big\xf4\x90!", "end\xf0\x9f\x98", "\xf0\x9f\x98\x80"};
    std::string db;
    for (const std::string &name : names)
        db += name + " IL US KXXX 0 40.00 -88.00 200 72000 1\n";
    write("sao.cty", db);
    RunResult result = run({"-in", "dbase", "-pa", "json"});
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(parse_json(result.out, dir() + "/sao.cty"), "11\n");

    /* Raw rows: every value a string; fields beyond the named columns keyed
       by their position. */
    write("odd.raw", "h\nh\nh\nID Name\nA\"1 q\\\x02\xff extra\n");
    expect_output(run({"-in", "odd.raw", "-pa", "json"}),
                  "{\"ID\":\"A\\\"1\",\"Name\":\"q\\\\\\u0002\xef\xbf\xbd\",\"3\":\"extra\"}\n");
}

} // namespace
