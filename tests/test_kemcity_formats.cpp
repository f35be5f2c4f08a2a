/*
 * End-to-end tests of kemcity's output for programs: CSV, GeoJSON and
 * JSON's missing values, exact on small tables, and read back whole from
 * the bundled data by real readers (python3's csv and json, GDAL's
 * ogrinfo); and of "-pa missing", which names the values that found
 * nothing.
 */
#include "kemcity_run.h"

namespace {

/* A database of awkward stations: a name with a comma and a quote, a
   station without a position, state or number. */
constexpr const char *awkward =
    "O\"Hare,_Chicago       IL US KORD  0   41.9786 -87.9048   201 72530  1\n"
    "Nowhere               -- -- XNOW  9 -9999.00 -9999.00  9999 -9999  2\n";

class Formats : public KemcityTest {
  protected:
    /* Runs a reader (argv[0] a program on the path) on `out`, written to
       the file `name` below the scratch directory; its standard output, or
       "failed". */
    std::string read_back(const std::vector<std::string> &reader, const std::string &out,
                          const std::string &name = "out.txt") {
        write(name, out);
        RunResult result = kemtest::run_in_child([&] {
            std::vector<std::string> args = reader;
            args.push_back(dir() + "/" + name);
            std::vector<char *> argv;
            for (std::string &a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execvp(argv[0], argv.data());
            _exit(127);
        });
        EXPECT_EQ(result.status, 0) << result.err;
        return result.status == 0 ? result.out : "failed";
    }

    std::string bundled(std::vector<std::string> args) {
        args.insert(args.begin(), {"-fp", KEM_BUNDLED_DATA});
        RunResult result = run(args);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.status, 0);
        return result.out;
    }
};

/* Reads CSV with python's csv module: the header, then per row its
   number of cells and the cells joined by '|'. */
constexpr const char *csv_reader = R"(
import csv, sys
rows = list(csv.reader(open(sys.argv[1], newline='')))
print('|'.join(rows[0]))
for row in rows[1:]:
    print(len(row), '|'.join(row))
)";

/* Reads a GeoJSON FeatureCollection with python's json module: per
   feature its coordinates and its ID property. */
constexpr const char *geojson_reader = R"(
import json, sys
fc = json.load(open(sys.argv[1]))
assert fc['type'] == 'FeatureCollection'
for f in fc['features']:
    g = f['geometry']
    print(g['coordinates'] if g else None, f['properties'].get('ID'))
)";

} // namespace

TEST_F(Formats, CsvHasAHeaderRowAndQuotesWhatNeedsIt) {
    write("sao.cty", awkward);
    expect_output(run({"-in", "dbase", "-pa", "csv", "-ou", "ID,Name,ST,Lat,Lon,Elev,WMO"}),
                  "ID,Name,ST,Lat,Lon,Elev,WMO\n"
                  "KORD,\"O\"\"Hare,_Chicago\",IL,41.9786,-87.9048,201,72530\n"
                  "XNOW,Nowhere,,,,,\n");
    EXPECT_EQ(read_back({"python3", "-c", csv_reader},
                        run({"-in", "dbase", "-pa", "csv", "-ou", "Name,ID"}).out),
              "Name|ID\n2 O\"Hare,_Chicago|KORD\n2 Nowhere|XNOW\n");
    /* No record: the header alone; banner and names stay out. */
    expect_output(run({"-in", "dbase", "-me", "out1", "-pa", "csv", "-ou", "ID", "NONE"}), "ID\n");
}

TEST_F(Formats, GeoJsonFeaturesWithAndWithoutAPosition) {
    write("sao.cty", awkward);
    expect_output(run({"-in", "dbase", "-pa", "geojson", "-ou", "ID,Elev"}),
                  "{\"type\":\"FeatureCollection\",\"features\":[\n"
                  "{\"type\":\"Feature\",\"geometry\":{\"type\":\"Point\",\"coordinates\":"
                  "[-87.9048,41.9786]},\"properties\":{\"ID\":\"KORD\",\"Elev\":201}},\n"
                  "{\"type\":\"Feature\",\"geometry\":null,\"properties\":{\"ID\":\"XNOW\","
                  "\"Elev\":null}}\n]}\n");
    expect_output(run({"-in", "dbase", "-pa", "geojson", "NONE"}),
                  "{\"type\":\"FeatureCollection\",\"features\":[\n]}\n");
    /* A raw table with Lat and Lon columns places its rows. */
    copy_fixture("zones.raw");
    EXPECT_EQ(read_back({"python3", "-c", geojson_reader},
                        run({"-in", "zones.raw", "-pa", "geojson", "ST=IL"}).out),
              "[-87.82, 41.84] ILZ014\n[-87.9, 42.07] ILZ103\n");
}

TEST_F(Formats, JsonShowsEveryDigitAndNullForWhatIsMissing) {
    write("sao.cty", awkward);
    expect_output(run({"-in", "dbase", "-pa", "json", "XNOW", "KORD"}),
                  "{\"Name\":\"O\\\"Hare,_Chicago\",\"ST\":\"IL\",\"CN\":\"US\",\"ID\":\"KORD\","
                  "\"P\":0,\"Lat\":41.9786,\"Lon\":-87.9048,\"Elev\":201,\"WMO\":72530}\n"
                  "{\"Name\":\"Nowhere\",\"ST\":null,\"CN\":null,\"ID\":\"XNOW\",\"P\":9,"
                  "\"Lat\":null,\"Lon\":null,\"Elev\":null,\"WMO\":null}\n");
    /* Raw tables: numbers where the whole field is one. */
    copy_fixture("cities.raw");
    expect_output(run({"-pa", "json", "-ou", "ID,Lat,Pop", "KSPI"}),
                  "{\"ID\":\"KSPI\",\"Lat\":39.84,\"Pop\":114394}\n");
}

/* The whole bundled database and every raw table, read back by real
   readers: as many records as lines, the same identifiers. */
TEST_F(Formats, RealReadersTakeTheBundledDataWhole) {
    std::string csv = bundled({"-in", "dbase", "-pa", "csv"});
    std::string plain = bundled({"-in", "dbase", "-ou", "ID"});
    size_t stations = kemtest::count_of(plain, "\n");
    std::string rows = read_back({"python3", "-c", csv_reader}, csv);
    EXPECT_EQ(kemtest::count_of(rows, "\n"), stations + 1);
    EXPECT_EQ(kemtest::count_of(rows, "\n9 "), stations); /* nine cells in every row */

    std::string geojson = bundled({"-in", "dbase", "-pa", "geojson", "-ou", "ID,Name"});
    std::string features = read_back({"python3", "-c", geojson_reader}, geojson);
    EXPECT_EQ(kemtest::count_of(features, "\n"), stations);
    for (const char *kind : {"city", "cnty", "state", "zone", "upair", "radar"}) {
        std::string out = bundled({"-in", kind, "-pa", "geojson"});
        EXPECT_NE(read_back({"python3", "-c", geojson_reader}, out), "failed") << kind;
    }
    if (system("command -v ogrinfo >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ogrinfo (gdal-bin) not installed: GDAL's reading not checked";
    std::string info = read_back({"ogrinfo", "-ro", "-so", "-al"}, geojson, "all.geojson");
    EXPECT_NE(info.find("Feature Count: " + std::to_string(stations) + "\n"), std::string::npos)
        << info;
    EXPECT_NE(info.find("Geometry: Point"), std::string::npos) << info;
}

TEST_F(Formats, MissingNamesThePlainValuesThatFoundNothing) {
    copy_fixture("sao.cty");
    expect_warned(run({"-in", "dbase", "-ou", "ID", "-pa", "missing", "KORD", "KXYZ", "ST=IN:P<1",
                       "72530", "EGLX", "Nowhere_"}),
                  "KORD \nKIND \n", "No match: KXYZ, EGLX, Nowhere_\n");
    /* With "first", what is not printed still counts as found. */
    expect_warned(run({"-in", "dbase", "-ou", "ID", "-pa", "first,missing", "KORD", "KMDW", "KQQQ"}),
                  "KORD \n", "No match: KQQQ\n");
    expect_output(run({"-in", "dbase", "-ou", "ID", "-pa", "missing", "KORD"}), "KORD \n");
    /* A level without warnings silences it, as every warning. */
    expect_output(run({"-in", "dbase", "-me", "print", "-pa", "missing", "KXYZ"}), "");
    copy_fixture("cities.raw");
    expect_warned(run({"-pa", "missing", "Nowhere"}), "", "No match: Nowhere\n");
}
