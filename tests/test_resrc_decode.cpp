/*
 * Tests of start-up decoding: the two command-line walks, the defaults
 * search path, the environment and the final conversion.  Each scenario
 * runs RES_init in a child process with a clean environment whose
 * defaults search path points into a scratch directory, so no defaults
 * file of the machine is read.
 */
#include "support.h"

using namespace kemtest;

namespace {

/* RES_init with `words` after the program path /usr/local/bin/kemcity. */
void init(const std::vector<std::string> &words, const res_type *keyed,
          const res_type *positional) {
    std::vector<std::string> all{"/usr/local/bin/kemcity"};
    all.insert(all.end(), words.begin(), words.end());
    int argc = 0;
    char **argv = make_argv(all, &argc);
    RES_init(argc, argv, keyed, positional);
}

/* The same with the station program's lists. */
void init_city(const std::vector<std::string> &words) {
    init(words, city_keyed, city_positional);
}

void init_lists(const std::vector<std::string> &words, std::vector<res_type> keyed,
                std::vector<res_type> positional) {
    keyed.push_back(RES_null);
    positional.push_back(RES_null);
    init(words, keyed.data(), positional.data());
}

} // namespace

TEST(ResrcDecode, OptionValueFollowsAsWordOrAfterEquals) {
    ScratchDir scratch;
    for (auto words :
         {std::vector<std::string>{"-ou", "ST,Name"}, std::vector<std::string>{"-ou=ST,Name"}}) {
        in_child([&] {
            clean_environment(scratch.dir());
            init_city(words);
            EXPECT_STREQ(RES_get("output"), "ST,Name");
            EXPECT_EQ(values_of("output"), (Items{"ST", "Name"}));
            EXPECT_EQ(RES_get("value"), nullptr);
        });
    }
    in_child([&] {
        clean_environment(scratch.dir());
        init_city({"-lat", "-30", "-pa=", "-in", "--ou", "x", "-", "-5"});
        EXPECT_STREQ(RES_get("lat"), "-30");
        EXPECT_STREQ(RES_get("parameter"), "");
        /* "--ou" starts no option for the value test, so -in takes it */
        EXPECT_STREQ(RES_get("input"), "--ou");
        EXPECT_EQ(values_of("value"), (Items{"x", "-", "-5"}));
    });
}

TEST(ResrcDecode, DoubleDashOptionsAndLoneDoubleDash) {
    ScratchDir scratch;
    in_child([&] {
        clean_environment(scratch.dir());
        init_city({"--ou", "Lat", "--", "KORD", "--", "--in=dbase"});
        EXPECT_STREQ(RES_get("output"), "Lat");
        EXPECT_STREQ(RES_get("input"), "dbase");
        EXPECT_EQ(values_of("value"), Items{"KORD"});
    });
}

TEST(ResrcDecode, FlagOptionsGiveBackTheFollowingWord) {
    ScratchDir scratch;
    in_child([&] {
        clean_environment(scratch.dir());
        init_city({"-ba", "file.txt", "-h", "second"});
        EXPECT_STREQ(RES_get("batch"), "");
        EXPECT_STREQ(RES_get("help"), "");
        EXPECT_EQ(values_of("value"), (Items{"file.txt", "second"}));
        EXPECT_EQ(FLAG_batch(), 1);
        EXPECT_EQ(FLAG_help(), 1);
        /* nobody chose message levels: batch mode shows print to warn */
        EXPECT_EQ(MESS_get(), 0xFFu);
    });
    in_child([&] {
        clean_environment(scratch.dir());
        init_city({"-h=yes"});
        EXPECT_STREQ(RES_get("help"), "yes");
        EXPECT_EQ(FLAG_help(), 1);
    });
}

TEST(ResrcDecode, BatchKeepsExplicitMessageLevels) {
    ScratchDir scratch;
    in_child([&] {
        clean_environment(scratch.dir());
        MESS_set(0, M_warn);
        init_city({"-ba"});
        EXPECT_EQ(FLAG_batch(), 1);
        EXPECT_EQ(MESS_get(), 0xFFu);
    });
    in_child([&] {
        clean_environment(scratch.dir());
        init_city({"-ba", "-me", "mess"});
        EXPECT_EQ(MESS_get(), 0xFFFu);
    });
}

TEST(ResrcDecode, NothingGivenLeavesStoreEmptyAndFlagsUnset) {
    ScratchDir scratch;
    in_child([&] {
        clean_environment(scratch.dir());
        init_city({});
        EXPECT_EQ(RES_get("help"), nullptr);
        EXPECT_EQ(RES_get("output"), nullptr);
        EXPECT_EQ(RES_get("value"), nullptr);
        EXPECT_EQ(FLAG_help(), 0);
        EXPECT_EQ(FLAG_batch(), 0);
        for (int word = 0; word < 30; ++word)
            EXPECT_EQ(FLAG_get(word), KEM_MISSING) << word;
        std::string listed = capture_stdout([] { RES_list(); });
        EXPECT_EQ(listed, "default: " + scratch.dir() + "\n");
    });
}

TEST(ResrcDecode, PositionalWordsGoToTheirSlots) {
    ScratchDir scratch;
    in_child([&] {
        clean_environment(scratch.dir());
        init_city({"a,b", "c", "d,e,f"});
        EXPECT_EQ(values_of("value"), (Items{"a,b", "c", "d,e,f"}));
    });
    /* the tenth word and later are appended like the others */
    in_child([&] {
        clean_environment(scratch.dir());
        init_city({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12"});
        EXPECT_EQ(values_of("value"),
                  (Items{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12"}));
    });
    /* a position-1 entry takes the first word only; the rest is dropped */
    in_child([&] {
        clean_environment(scratch.dir());
        init_lists({"first.dat", "second.dat"}, {RES_help}, {RES_filename});
        EXPECT_STREQ(RES_get("filename"), "first.dat");
        char name[KEM_PATH_MAX] = "";
        EXPECT_EQ(RES_getval("filename", name, CV_strcpy), 1);
        EXPECT_STREQ(name, "first.dat");
    });
}

TEST(ResrcDecode, SlotTenAppendsToEnvironmentValueAfterSlotOne) {
    ScratchDir scratch;
    in_child([&] {
        clean_environment(scratch.dir());
        setenv("kemcommand", "from_env", 1);
        init_lists({"a", "b", "c"}, {RES_help}, {RES_filename, RES_command});
        EXPECT_STREQ(RES_get("filename"), "a");
        EXPECT_EQ(values_of("command"), (Items{"from_env", "b", "c"}));
    });
    /* the first positional word replaces what the environment gave */
    in_child([&] {
        clean_environment(scratch.dir());
        setenv("kemvalue", "from_env", 1);
        init_city({"x", "y"});
        EXPECT_EQ(values_of("value"), (Items{"x", "y"}));
    });
}

TEST(ResrcDecode, ValueOptionIsAFreeResource) {
    ScratchDir scratch;
    in_child([&] {
        clean_environment(scratch.dir());
        init_city({"p1", "p2", "-value", "a,b"});
        EXPECT_EQ(values_of("value"), (Items{"a", "b"}));
    });
    in_child([&] {
        clean_environment(scratch.dir());
        init_city({"-value", "a,b", "p1", "p2"});
        EXPECT_EQ(values_of("value"), (Items{"p1", "p2"}));
    });
}

TEST(ResrcDecode, SharedKeyGoesToTheEntryListedFirst) {
    ScratchDir scratch;
    in_child([&] {
        clean_environment(scratch.dir());
        init_lists({"-in", "5"}, {RES_input, RES_con_interval}, {});
        EXPECT_STREQ(RES_get("input"), "5");
        EXPECT_EQ(RES_get("con_interval"), nullptr);
    });
    in_child([&] {
        clean_environment(scratch.dir());
        init_lists({"-in", "5"}, {RES_con_interval, RES_input}, {});
        EXPECT_STREQ(RES_get("con_interval"), "5");
        EXPECT_EQ(RES_get("input"), nullptr);
    });
}

TEST(ResrcDecode, ResourceNameAndLeadingPartWorkAsKeys) {
    ScratchDir scratch;
    for (const char *key : {"-file_path", "-file", "-fi", "-FP", "-File_Path"}) {
        in_child([&] {
            clean_environment(scratch.dir());
            init_city({key, "/data"});
            EXPECT_STREQ(RES_get("file_path"), "/data") << key;
            EXPECT_EQ(RES_get("file"), nullptr) << key;
            EXPECT_EQ(RES_get("fi"), nullptr) << key;
        });
    }
    in_child([&] {
        clean_environment(scratch.dir());
        init_city({"-out", "Lat", "-city", "sao.cty", "-outputs", "x"});
        EXPECT_STREQ(RES_get("output"), "Lat");
        EXPECT_STREQ(RES_get("city_file"), "sao.cty");
        EXPECT_STREQ(RES_get("outputs"), "x");
    });
    /* a listed short key wins over the leading part of an earlier name */
    in_child([&] {
        clean_environment(scratch.dir());
        init_lists({"-st", "IN"}, {RES_stat_prior, RES_state}, {});
        EXPECT_STREQ(RES_get("state"), "IN");
        EXPECT_EQ(RES_get("stat_prior"), nullptr);
    });
}

TEST(ResrcDecode, ProgramNameOptionIsCaseSensitiveInTheFirstWalk) {
    ScratchDir scratch;
    scratch.write("kem.cfg", "test.output Titled\n");
    in_child([&] {
        clean_environment(scratch.dir());
        init_city({"-nam", "test", "KORD"});
        EXPECT_STREQ(RES_get("name"), "test");
        EXPECT_EQ(RES_get("nam"), nullptr);
        EXPECT_EQ(values_of("value"), Items{"KORD"});
        /* the name selects the defaults-file keys */
        EXPECT_STREQ(RES_get("output"), "Titled");
    });
    in_child([&] {
        clean_environment(scratch.dir());
        init_city({"-NA", "test", "KORD"});
        EXPECT_EQ(RES_get("name"), nullptr);
        EXPECT_EQ(RES_get("NA"), nullptr);
        EXPECT_EQ(RES_get("output"), nullptr);
        EXPECT_EQ(values_of("value"), Items{"KORD"});
    });
}

TEST(ResrcDecode, OverlongOptionNameIsCut) {
    ScratchDir scratch;
    const std::string name(200, 'q');
    in_child([&] {
        clean_environment(scratch.dir());
        init_city({"-" + name, "v1", "-" + std::string(120, 'z') + "=v2"});
        EXPECT_STREQ(RES_get(name.substr(0, 49).c_str()), "v1");
        EXPECT_STREQ(RES_get(std::string(49, 'z').c_str()), "v2");
        EXPECT_EQ(RES_get(name.c_str()), nullptr);
        EXPECT_EQ(RES_get("value"), nullptr);
    });
}

TEST(ResrcDecode, CommandLineBeatsEnvironmentBeatsDefaultsFiles) {
    ScratchDir scratch;
    scratch.write("first/kem.cfg", "kemcity.output: First\n*.input first\n*.parameter first\n"
                                   "kemcity.color_x red\nother.color_y blue\n");
    scratch.write("last/.kemdef", "*output Last\n*.input last\n");
    const std::string path = scratch.path("first") + ":" + scratch.path("last");
    in_child([&] {
        clean_environment(path);
        init_city({});
        EXPECT_STREQ(RES_get("output"), "Last");
        EXPECT_STREQ(RES_get("input"), "last");
        EXPECT_STREQ(RES_get("parameter"), "first");
        EXPECT_STREQ(RES_get("color_x"), "red");
        EXPECT_EQ(RES_get("color_y"), nullptr);
    });
    in_child([&] {
        clean_environment(path);
        setenv("kemout", "Env", 1);
        setenv("keminput", "env", 1);
        init_city({"-in", "cmd"});
        EXPECT_STREQ(RES_get("output"), "Env");
        EXPECT_STREQ(RES_get("input"), "cmd");
        EXPECT_STREQ(RES_get("parameter"), "first");
    });
}

TEST(ResrcDecode, DefaultsReadingIsTracedAsDebug) {
    ScratchDir scratch;
    scratch.write("kem.cfg", "kemcity.output: Name\n");
    in_child([&] {
        clean_environment(scratch.dir());
        MESS_set(0, 0x80000000u);
        std::string out = capture_stdout([] { init_city({}); });
        EXPECT_NE(out.find("RESRC: kemcity.output=Name\n"), std::string::npos) << out;
    });
}

TEST(ResrcDecode, SearchPathOptionOnCommandLineWins) {
    ScratchDir scratch;
    scratch.write("a/kem.cfg", "*.output FromA\n*.input a\n");
    scratch.write("b/kem.cfg", "*.output FromB\n");
    in_child([&] {
        clean_environment(scratch.path("a"));
        init_city({"-df", scratch.path("b")});
        EXPECT_STREQ(RES_get("output"), "FromB");
        EXPECT_EQ(RES_get("input"), nullptr);
        EXPECT_STREQ(RES_get("default"), scratch.path("b").c_str());
    });
    in_child([&] {
        clean_environment(scratch.path("a"));
        init_city({"-default=" + scratch.path("b") + "/kem.cfg"});
        EXPECT_STREQ(RES_get("output"), "FromB");
    });
    /* upper case is no search-path option in either walk */
    in_child([&] {
        clean_environment(scratch.path("a"));
        init_city({"-DF", scratch.path("b"), "KORD"});
        EXPECT_STREQ(RES_get("output"), "FromA");
        EXPECT_EQ(RES_get("DF"), nullptr);
        EXPECT_EQ(values_of("value"), Items{"KORD"});
    });
}

TEST(ResrcDecode, EmptySearchPathReadsDotKemdefHere) {
    ScratchDir scratch;
    scratch.write(".kemdef", "*.output Dot\n");
    in_child([&] {
        clean_environment("");
        ASSERT_EQ(chdir(scratch.dir().c_str()), 0);
        init_city({});
        EXPECT_STREQ(RES_get("output"), "Dot");
    });
}

TEST(ResrcDecode, TagsAndWindowElementsOfTheSearchPath) {
    ScratchDir scratch;
    scratch.write("kem.cfg", "IF Test\n*.output Tagged\nELSE\n*.output Plain\nEND\n");
    in_child([&] {
        clean_environment("+test:#3:" + scratch.dir());
        std::string warned = capture_fd(2, [] { init_city({}); });
        EXPECT_EQ(warned, "VARoviz window: 3 not running or no message queue exists\n");
        EXPECT_STREQ(RES_get("output"), "Tagged");
    });
    in_child([&] {
        clean_environment(scratch.dir());
        init_city({});
        EXPECT_STREQ(RES_get("output"), "Plain");
    });
}

TEST(ResrcDecode, TooManyCodesAreRefusedNotOverrun) {
    ScratchDir scratch;
    in_child([&] {
        clean_environment(scratch.dir());
        std::vector<res_type> keyed(RES_TABLE_SIZE - 1, RES_icon);
        keyed.push_back(RES_output);
        keyed.push_back(RES_input);
        init_lists({"-ou", "x", "-ic"}, keyed, {RES_values});
        EXPECT_EQ(RES_get("output"), nullptr);
        EXPECT_STREQ(RES_get("ou"), "x");
        EXPECT_STREQ(RES_get("icon"), "");
    });
}

TEST(ResrcDecode, UnknownCodeIsPrintedAndMatchesNothing) {
    ScratchDir scratch;
    in_child([&] {
        clean_environment(scratch.dir());
        setenv("kemage", "5", 1);
        std::string out = capture_stdout([] { init_lists({"-age", "3"}, {RES_age}, {}); });
        EXPECT_EQ(out, "1\n");
        EXPECT_STREQ(RES_get("age"), "3");
    });
}

TEST(ResrcDecode, ConversionWritesTableDestinations) {
    ScratchDir scratch;
    in_child([&] {
        clean_environment(scratch.dir());
        int count = 0;
        char *path = nullptr;
        char **files = nullptr;
        int file_count = -1;
        RES_defobj table[4] = {};
        RES_fill_obj(&table[0], "count", "kemcount", "co", CV_int, &count, nullptr);
        RES_fill_obj(&table[1], "path", "kempath", "pt", CV_path, &path, nullptr);
        RES_fill_obj(&table[2], "files", "kemfiles", RES_SLOT(10), CV_strings, &files, &file_count);
        int argc = 0;
        char **argv = make_argv({"prog", "-co", "0x10", "a", "-pt", "/data", "b,c"}, &argc);
        EXPECT_EQ(RES_decode(argv[0], "Kem", argc, argv, table), 0);
        EXPECT_EQ(count, 16);
        EXPECT_STREQ(path, "/data/");
        ASSERT_EQ(file_count, 2);
        EXPECT_STREQ(files[0], "a");
        EXPECT_STREQ(files[1], "b,c");
        free_parsed_array(file_count, files);
        std::free(path);
    });
}

TEST(ResrcDecode, ConversionAppliesMessageDrawAndPlotType) {
    ScratchDir scratch;
    in_child([&] {
        clean_environment(scratch.dir());
        setenv("kemdraw", "map,data", 1);
        init_lists({"-me", "out1", "-pl", "CF"}, {RES_message, RES_draw, RES_plot_type}, {});
        EXPECT_EQ(MESS_get(), 0xFFFFu);
        EXPECT_EQ(FLAG_get(11), 15);
        EXPECT_EQ(FLAG_getplot(8), 1);
        EXPECT_EQ(FLAG_getplot(7), 1);
        EXPECT_EQ(FLAG_getplot(0), 0);
        EXPECT_EQ(FLAG_getplot(12), 2);
    });
}

TEST(ResrcDecode, EmptyOrMissingCommandLineIsHarmless) {
    ScratchDir scratch;
    in_child([&] {
        clean_environment(scratch.dir());
        EXPECT_EQ(RES_init(0, nullptr, nullptr, nullptr), 1);
        EXPECT_EQ(RES_get_prog(), nullptr);
        EXPECT_EQ(RES_decode(nullptr, nullptr, 3, nullptr, nullptr), 0);
        char buf[KEM_PATH_MAX];
        EXPECT_STREQ(RES_get_progname(buf), "KEM");
    });
}
