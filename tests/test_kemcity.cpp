/*
 * End-to-end tests of kemcity on raw location tables: the program is run
 * like a user runs it and its exact output, errors and exit status are
 * compared.
 */
#include "kemcity_run.h"

namespace {

const char *const all_cities = "KORD Chicago IL 41.98 -87.90 201 2746388 \n"
                               "KMDW Chicago_Midway IL 41.79 -87.75 188 2746388 \n"
                               "KSPI Springfield IL 39.84 -89.68 179 114394 \n"
                               "KSGF Springfield MO 37.24 -93.39 387 169176 \n"
                               "KIND Indianapolis IN 39.72 -86.28 243 887642 \n"
                               "KSBN South_Bend IN 41.71 -86.32 236 103453 \n"
                               "KFWA Fort_Wayne IN 40.98 -85.19 252 263886 \n"
                               "KEVV Evansville IN 38.04 -87.53 126 117298 \n"
                               "KMKE Milwaukee WI 42.95 -87.90 220 577222 \n"
                               "KDTW Detroit MI 42.23 -83.33 192 639111 \n"
                               "KSTL St_Louis MO 38.75 -90.37 172 301578 \n"
                               "KCMH Columbus OH 40.00 -82.88 247 905748 \n"
                               "KCOU Columbia MO 38.82 -92.22 271 126254 \n"
                               "KPIA Peoria IL 40.66 -89.69 199 113150 \n";

const char *const kord = "KORD Chicago IL 41.98 -87.90 201 2746388 \n";
const char *const kspi = "KSPI Springfield IL 39.84 -89.68 179 114394 \n";
const char *const ksgf = "KSGF Springfield MO 37.24 -93.39 387 169176 \n";

/* A small table with the three header lines and the given column line. */
std::string table(const std::string &columns, const std::string &rows) {
    return "header one\nheader two\nheader three\n" + columns + "\n" + rows;
}

class RawTable : public KemcityTest {};

TEST_F(RawTable, PlainRunPrintsEveryRowAsItsValues) {
    copy_fixture("cities.raw");
    expect_output(run({}), all_cities);
}

TEST_F(RawTable, Out1LevelAddsColumnNamesBannerAndOpeningLine) {
    copy_fixture("cities.raw");
    expect_output(run({"-me", "out1", "/KORD"}),
                  std::string(banner) + "Opening: cities.raw\n" +
                      "ID=KORD Name=Chicago ST=IL Lat=41.98 Lon=-87.90 Elev=201 Pop=2746388 \n");
    /* The same setting from the environment or a defaults file. */
    expect_output(run({"/KORD"}, {"kemmess=out1"}),
                  std::string(banner) + "Opening: cities.raw\n" +
                      "ID=KORD Name=Chicago ST=IL Lat=41.98 Lon=-87.90 Elev=201 Pop=2746388 \n");
    write("kem.cfg", "kemcity.message: mess\n");
    expect_output(run({"/KORD"}), std::string(banner) + "Opening: cities.raw\n" + kord);
}

TEST_F(RawTable, FilePathFindsTheTableInAnotherDirectory) {
    write("tables/cities.raw", fixture("cities.raw"));
    expect_output(run({"-fp", "tables", "KSPI"}), kspi);
    expect_output(run({"-fp", dir() + "/tables/", "KSPI"}), kspi);
    expect_output(run({"KSPI"}, {"kemfile=tables"}), kspi);
    /* A name that is already a path is taken as it stands. */
    expect_output(run({"-fp", "elsewhere", "-in", "./tables/cities.raw", "KSPI"}), kspi);
}

TEST_F(RawTable, InputKeywordsChooseTheirTables) {
    copy_fixture("zones.raw");
    copy_fixture("states.raw");
    expect_output(run({"-in", "zone", "ST=IN"}), "INZ001 IN Lake 41.47 -87.37 \n"
                                                 "INZ002 IN Porter 41.51 -87.07 \n"
                                                 "INZ003 in La_Porte 41.55 -86.74 \n"
                                                 "INZ040 In Marion 39.78 -86.14 \n");
    expect_output(run({"-in", "STATE", "st=mi"}), "MI Michigan 44.3 -85.4 \n");
    copy_fixture("states.raw", "my.table");
    expect_output(run({"-in", "my.table", "ST=IL"}), "IL Illinois 40.0 -89.2 \n");
}

TEST_F(RawTable, FourCharacterValueMatchesOnlyTheIdentifier) {
    copy_fixture("cities.raw");
    expect_output(run({"/KORD"}), kord);
    expect_output(run({"kord"}), kord);
    expect_output(run({"Chic"}), "");
    expect_output(run({"Spri"}), "");
}

TEST_F(RawTable, LongerValueMatchesIdentifierOrNameStatePrefix) {
    copy_fixture("cities.raw");
    expect_output(run({"Spring"}), std::string(kspi) + ksgf);
    expect_output(run({"springfield_i"}), kspi);
    expect_output(run({"Chicago_I"}), kord);
    expect_output(run({"Chicago_IL_and_more"}), "");
    write("ids.raw", table("ID Name ST", "KABCD Alpha IL\nKX Beta IN\n"));
    expect_output(run({"-in", "ids.raw", "kabcd"}), "KABCD Alpha IL \n");
}

TEST_F(RawTable, OnlyTheFirstValueFiltersARawTable) {
    copy_fixture("cities.raw");
    expect_output(run({"KSPI", "KORD"}), kspi);
}

TEST_F(RawTable, KeyValueNeedsANamedColumnWithinTheRow) {
    write("t.raw", table("ID Name ST Pop", "KAAA One IL 5\nKBBB Two IL\nKCCC Three IN 5 extra\n"));
    expect_output(run({"-in", "t.raw", "Pop=5"}), "KAAA One IL 5 \nKCCC Three IN 5 extra \n");
    expect_output(run({"-in", "t.raw", "Bogus=5"}), "");
    expect_output(run({"-in", "t.raw", "=5"}), "");
    /* Keys longer than nine characters name no column. */
    write("long.raw", table("ID Populations", "KAAA 7\n"));
    expect_output(run({"-in", "long.raw", "Populations=7"}), "");
    write("nine.raw", table("ID Populatio", "KAAA 7\n"));
    expect_output(run({"-in", "nine.raw", "populatio=7"}), "KAAA 7 \n");
}

TEST_F(RawTable, OutputListChoosesColumnsInItsOrder) {
    copy_fixture("cities.raw");
    expect_output(run({"-ou", "Lat,Name", "KSPI"}), "39.84 Springfield \n");
    expect_output(run({"-me", "out1", "-ou=Lat,Name", "KSPI"}),
                  std::string(banner) + "Opening: cities.raw\nLat=39.84 Name=Springfield \n");
    expect_output(run({"-ou", "all", "KSPI"}), kspi);
    /* A name that is no column prints nothing, and says so. */
    const std::string bogus = "Output column Bogus: not a column of cities.raw\n";
    expect_warned(run({"-ou", "name,Name,Bogus", "KSPI"}), "Springfield Springfield \n", bogus);
    expect_warned(run({"-ou", "Bogus", "KSPI"}), "\n", bogus);
    expect_output(run({"KSPI"}, {"kemout=ST"}), "IL \n");
}

TEST_F(RawTable, ParameterFirstStopsAfterTheFirstMatch) {
    copy_fixture("cities.raw");
    expect_output(run({"-pa", "first", "Spring"}), kspi);
    const std::string flags = ": not a flag (first nearest json csv geojson missing)\n";
    expect_warned(run({"-pa", "x,FIRST"}), kord, "Parameter x" + flags);
    expect_warned(run({"-pa", "firsts", "Spring"}), std::string(kspi) + ksgf,
                  "Parameter firsts" + flags);
}

TEST_F(RawTable, MissingTableExitsWithStatus10) {
    RunResult result = run({});
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Raw File not found: cities.raw\n");
    EXPECT_EQ(result.status, 10);

    result = run({"-fp", "/nonexistent", "-in", "radar"});
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Raw File not found: /nonexistent/radar.raw\n");
    EXPECT_EQ(result.status, 10);

    result = run({"-me", "mess", "-in", "upair"});
    EXPECT_EQ(result.out, std::string(banner) + "Opening: upair.raw\n");
    EXPECT_EQ(result.err, "Raw File not found: upair.raw\n");
    EXPECT_EQ(result.status, 10);
}

TEST_F(RawTable, PathTooLongForItsBufferIsNeverOpenedCut) {
    /* The joined path would be 161 characters: cut at 159 it would name
       "<dir>/cities.r", which exists and must not be read. */
    std::string sub(150 - dir().size() - 1, 'd');
    std::string table_dir = dir() + "/" + sub;
    write(sub + "/cities.r", fixture("cities.raw"));
    RunResult result = run({"-fp", table_dir});
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Raw File name too long: " + table_dir + "/cities.r...\n");
    EXPECT_EQ(result.status, 10);

    std::string db_sub(152 - dir().size() - 1, 'e');
    std::string db_dir = dir() + "/" + db_sub;
    write(db_sub + "/sao.ct", fixture("sao.cty"));
    result = run({"-fp", db_dir, "-in", "dbase"});
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "CTY_open_file: Database file name too long: " + db_dir +
                              "/sao.ct...\nDBase File name too long: " + db_dir + "/sao.ct...\n");
    EXPECT_EQ(result.status, 10);
}

TEST_F(RawTable, DirectoryNamedAsInputIsAFileThatCannotBeOpened) {
    write("tables/cities.raw/placeholder", "");
    RunResult result = run({"-in", "tables"});
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Raw File not found: tables\n");
    EXPECT_EQ(result.status, 10);

    result = run({"-fp", "tables"});
    EXPECT_EQ(result.err, "Raw File not found: tables/cities.raw\n");
    EXPECT_EQ(result.status, 10);

    result = run({"-cf", "tables"});
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "CTY_open_file: Database file not found: tables\n"
                          "DBase File not found: tables\n");
    EXPECT_EQ(result.status, 10);
}

TEST_F(RawTable, ShortOrEmptyTablesPrintNothing) {
    write("empty.raw", "");
    expect_output(run({"-in", "empty.raw"}), "");
    write("short.raw", "one\ntwo\nthree\n");
    expect_output(run({"-in", "short.raw"}), "");
    write("names.raw", "one\ntwo\nthree\nID Name\n");
    expect_output(run({"-in", "names.raw"}), "");
}

TEST_F(RawTable, CarriageReturnsAndBinaryBytesAreHarmless) {
    write("crlf.raw", "h1\r\nh2\r\nh3\r\nID Name ST\r\nKAAA Alpha IL\r\nKBBB Beta IN\r\n");
    expect_output(run({"-in", "crlf.raw"}), "KAAA Alpha IL \nKBBB Beta IN \n");
    expect_output(run({"-in", "crlf.raw", "-ou", "ST", "ST=IN"}), "IN \n");

    std::string garbage;
    for (int i = 0; i < 4000; i++)
        garbage += static_cast<char>((i * 7919 + 13) % 256);
    write("binary.raw", garbage);
    RunResult result = run({"-in", "binary.raw"});
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 0);
    result = run({"-in", "binary.raw", "-me", "out1", "Alpha_IL"});
    EXPECT_EQ(result.status, 0);
}

TEST_F(RawTable, RowsWithoutFieldsAndOverlongLines) {
    /* An empty row prints an empty line, but never matches a value. */
    write("gaps.raw", table("ID Name ST", "KAAA Alpha IL\n\nKBBB Beta IN\n"));
    expect_output(run({"-in", "gaps.raw"}), "KAAA Alpha IL \n\nKBBB Beta IN \n");
    expect_output(run({"-in", "gaps.raw", "Beta_IN"}), "KBBB Beta IN \n");

    /* A line of more than 160 characters comes as rows of 160 and the rest. */
    std::string first(100, 'a'), second(80, 'b');
    write("long.raw", table("ID Name", "KAAA " + first + " " + second + "\n"));
    expect_output(run({"-in", "long.raw"}), "KAAA " + first + " " + std::string(54, 'b') + " \n" +
                                                std::string(26, 'b') + " \n");
}

TEST_F(RawTable, OverlongColumnsAndFieldsAreCutAtTheirLimits) {
    std::string column(40, 'C'), field(150, 'f');
    write("wide.raw", table("ID " + column, "KAAA " + field + "\n"));
    expect_output(run({"-in", "wide.raw", "-me", "out1", "-ou", std::string(29, 'c')}),
                  std::string(banner) + "Opening: wide.raw\n" + std::string(29, 'C') + "=" +
                      std::string(119, 'f') + " \n");

    /* At most 25 columns and 25 fields of a row are used. */
    std::string names, values, expected;
    for (int i = 1; i <= 27; i++) {
        names += "c" + std::to_string(i) + " ";
        values += std::to_string(i) + " ";
        if (i <= 25)
            expected += std::to_string(i) + " ";
    }
    write("many.raw", table(names, values + "\n"));
    expect_output(run({"-in", "many.raw"}), expected + "\n");
    expect_warned(run({"-in", "many.raw", "-ou", "c26,c25"}), "25 \n",
                  "Output column c26: not a column of many.raw\n");
    expect_output(run({"-in", "many.raw", "c26=26"}), "");
}

TEST_F(RawTable, NameStateKeyIsCutAt49Characters) {
    std::string name(60, 'n');
    write("names.raw", table("ID Name ST", "KAAA " + name + " IL\n"));
    expect_output(run({"-in", "names.raw", std::string(49, 'N')}), "KAAA " + name + " IL \n");
    expect_output(run({"-in", "names.raw", std::string(50, 'N')}), "");
}

TEST_F(RawTable, FieldsBeyondTheNamedColumnsPrintWithoutAName) {
    write("extra.raw", table("ID Name", "KAAA Alpha spare\n"));
    expect_output(run({"-in", "extra.raw"}), "KAAA Alpha spare \n");
    expect_output(run({"-in", "extra.raw", "-me", "out1"}),
                  std::string(banner) + "Opening: extra.raw\nID=KAAA Name=Alpha spare \n");
}

/* Rows of the widest field kept, many output blocks long, named or not. */
TEST_F(RawTable, WideRowsAcrossOutputBlocks) {
    std::string rows, plain, named;
    for (int r = 0; r < 700; r++) {
        std::string wide = std::to_string(r) + std::string(125, static_cast<char>('a' + r % 26));
        std::string id = "K" + std::to_string(r);
        rows += id + " " + wide + " spare\n";
        plain += id + " " + wide.substr(0, 119) + " spare \n";
        named += "ID=" + id + " Name=" + wide.substr(0, 119) + " spare \n";
    }
    write("wide.raw", table("ID Name", rows));
    expect_output(run({"-in", "wide.raw"}), plain);
    expect_output(run({"-in", "wide.raw", "-me", "out1"}),
                  std::string(banner) + "Opening: wide.raw\n" + named);
}

TEST_F(RawTable, LaterColumnOfTheSameNameCounts) {
    write("twice.raw", table("ID Name ID", "KAAA Alpha KZZZ\n"));
    expect_output(run({"-in", "twice.raw", "KZZZ"}), "KAAA Alpha KZZZ \n");
    expect_output(run({"-in", "twice.raw", "KAAA"}), "");
    expect_output(run({"-in", "twice.raw", "-ou", "ID"}), "KAAA KZZZ \n");
}

TEST_F(RawTable, TableFromStandardInputOrAPipe) {
    RunResult result =
        run({"-in", "-", "Beta_IN"}, {}, table("ID Name ST", "KAAA Alpha IL\nKBBB Beta IN\n"));
    expect_output(result, "KBBB Beta IN \n");
    copy_fixture("cities.raw");
    expect_output(run({"-in", "|cat cities.raw", "KSGF"}, {"PATH=/usr/bin:/bin"}), ksgf);
}

TEST_F(RawTable, SettingsComeFromDefaultsEnvironmentAndCommandLineInThatOrder) {
    copy_fixture("cities.raw");
    write("etc/kem.cfg", "# site defaults\n"
                         "*.output ID\n"
                         "IF north\n"
                         "kemcity.output: ID,Lat\n"
                         "ELSE\n"
                         "kemcity.output: ID,Lon\n"
                         "END\n"
                         "kemcity.parameter \"first\"\n");
    std::string etc = dir() + "/etc";
    expect_output(run({"Spring"}, {"kemdefault=" + etc}), "KSPI -89.68 \n");
    expect_output(run({"Spring"}, {"kemdefault=+north:" + etc}), "KSPI 39.84 \n");
    expect_output(run({"-df", "+NORTH:" + etc, "Spring"}), "KSPI 39.84 \n");
    expect_output(run({"Spring"}, {"kemdefault=" + etc, "kemout=Name"}), "Springfield \n");
    expect_warned(run({"-ou", "ST", "-pa", "none", "Spring"}, {"kemdefault=" + etc, "kemout=Name"}),
                  "IL \nMO \n",
                  "Parameter none: not a flag (first nearest json csv geojson missing)\n");
    /* The program-name option selects the variant's own settings. */
    write("etc/kem.cfg", "kemcity.output: ID\nkemcity.west.output: Lon\n");
    expect_output(run({"-na", "+west", "KSPI"}, {"kemdefault=" + etc}), "-89.68 \n");
}

/* The search path begins with the working directory, so a defaults file
   there may be anyone's: it sets values but never runs a command.  The
   user's own words, the environment and the command line, still may. */
TEST_F(RawTable, ADefaultsFileNeverRunsACommand) {
    copy_fixture("cities.raw");
    write("kem.cfg", "kemcity.input: \"|echo ran >&2\"\n*.output ID\n"
                     "*.message warn,fi:|echo logged >&2\n");
    RunResult result = run({"Chicago"}, {"kemdefault=.", "PATH=/usr/bin:/bin"});
    EXPECT_EQ(result.out, "KORD \nKMDW \n");
    EXPECT_EQ(result.err, "DEF_get: ./kem.cfg: value of kemcity.input refused, "
                          "it could run a command\n"
                          "DEF_get: ./kem.cfg: value of *.message refused, "
                          "it could run a command\n");
    EXPECT_EQ(result.status, 0);
    write("kem.cfg", "*.output ID\n");
    expect_output(run({"KSGF"}, {"kemdefault=.", "kemin=|cat cities.raw", "PATH=/usr/bin:/bin"}),
                  "KSGF \n");
}

/* A line of a defaults file is read in pieces, but the rest of a long
   comment is still comment: it never sets anything. */
TEST_F(RawTable, TheTailOfALongCommentLineSetsNothing) {
    copy_fixture("cities.raw");
    write("kem.cfg", "*.output ID\n# " + std::string(247, '-') + "kemcity.output Name\n");
    expect_output(run({"KSPI"}), "KSPI \n");
}

TEST_F(RawTable, HelpListsTheOptions) {
    expect_output(run({"-h"}), std::string("kemcity: This program determines a KEM file name\n") +
                                   kemtest::city_help);
    /* Help wins over everything else, also when asked for by the environment. */
    RunResult result = run({"-fp", "/nonexistent", "KORD"}, {"kemhelp=1"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out.rfind("kemcity: This program determines a KEM file name\n", 0), 0u);
}

/* Batch mode quietens only a run whose message level nobody chose: the
   level given before it, after it or in the environment stays. */
TEST_F(RawTable, BatchModeKeepsTheMessageLevelTheUserChose) {
    copy_fixture("cities.raw");
    const std::string named =
        std::string(banner) + "Opening: cities.raw\n" +
        "ID=KORD Name=Chicago ST=IL Lat=41.98 Lon=-87.90 Elev=201 Pop=2746388 \n";
    expect_output(run({"-me", "out1", "-ba", "/KORD"}), named);
    expect_output(run({"-ba", "-me", "out1", "/KORD"}), named);
    expect_output(run({"-ba", "/KORD"}, {"kemmess=out1"}), named);
    expect_output(run({"-ba", "/KORD"}), kord);
}

} // namespace
