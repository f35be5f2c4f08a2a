/*
 * Tests of start-up decoding: the two command-line walks, the defaults
 * search path, the environment and the final conversion.  Each scenario
 * runs RES_init in a child process with a clean environment whose
 * defaults search path points into a scratch directory, so no defaults
 * file of the machine is read.
 */
#include "support.h"

#include <optional>
#include <utility>

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

/* One start-up scenario: the command line, and what the store then
   holds.  Lists left empty stand for the station program's. */
struct Decoded {
    std::vector<std::string> words;
    std::vector<std::pair<std::string, std::optional<std::string>>> texts; /* by RES_get */
    std::vector<std::pair<const char *, Items>> items = {};                /* by values_of */
    std::vector<std::pair<const char *, const char *>> env = {};
    std::vector<res_type> keyed = {};
    std::vector<res_type> positional = {};
};

constexpr std::nullopt_t unset = std::nullopt;

/* Runs the scenario in a child whose defaults search path is `path`. */
void expect_decoded(const std::string &path, const Decoded &d) {
    in_child([&] {
        std::string line;
        for (const std::string &word : d.words)
            line += " " + word;
        SCOPED_TRACE("command line:" + line);
        clean_environment(path);
        for (const auto &[name, value] : d.env)
            setenv(name, value, 1);
        if (d.keyed.empty())
            init_city(d.words);
        else
            init_lists(d.words, d.keyed, d.positional);
        for (const auto &[name, text] : d.texts)
            if (text)
                EXPECT_STREQ(RES_get(name.c_str()), text->c_str()) << name;
            else
                EXPECT_EQ(RES_get(name.c_str()), nullptr) << name;
        for (const auto &[name, items] : d.items)
            EXPECT_EQ(values_of(name), items) << name;
    });
}

} // namespace

TEST(ResrcDecode, OptionValueFollowsAsWordOrAfterEquals) {
    ScratchDir scratch;
    const Decoded rows[] = {
        {{"-ou", "ST,Name"},
         {{"output", "ST,Name"}, {"value", unset}},
         {{"output", {"ST", "Name"}}}},
        {{"-ou=ST,Name"}, {{"output", "ST,Name"}, {"value", unset}}, {{"output", {"ST", "Name"}}}},
        /* "--ou" starts no option for the value test, so -in takes it */
        {{"-lat", "-30", "-pa=", "-in", "--ou", "x", "-", "-5"},
         {{"lat", "-30"}, {"parameter", ""}, {"input", "--ou"}},
         {{"value", {"x", "-", "-5"}}}},
    };
    for (const Decoded &row : rows)
        expect_decoded(scratch.dir(), row);
}

TEST(ResrcDecode, DoubleDashOptionsAndLoneDoubleDash) {
    ScratchDir scratch;
    expect_decoded(scratch.dir(), {{"--ou", "Lat", "--", "KORD", "--", "--in=dbase"},
                                   {{"output", "Lat"}, {"input", "dbase"}},
                                   {{"value", {"KORD"}}}});
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
    expect_decoded(scratch.dir(), {{"a,b", "c", "d,e,f"}, {}, {{"value", {"a,b", "c", "d,e,f"}}}});
    /* the tenth word and later are appended like the others */
    const Items twelve{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12"};
    expect_decoded(scratch.dir(), {twelve, {}, {{"value", twelve}}});
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

/* Values are appended in place as start-up reads them: tens of thousands
   arrive whole and in order (their speed is measured by bench_startup). */
TEST(ResrcDecode, ManyPositionalWordsArriveWholeAndInOrder) {
    ScratchDir scratch;
    Items many;
    for (int i = 0; i < 20000; ++i)
        many.push_back("v" + std::to_string(i * 7919 % 100003));
    expect_decoded(scratch.dir(), {many, {}, {{"value", many}}});
}

TEST(ResrcDecode, SlotTenAppendsToEnvironmentValueAfterSlotOne) {
    ScratchDir scratch;
    const Decoded rows[] = {
        {{"a", "b", "c"},
         {{"filename", "a"}},
         {{"command", {"from_env", "b", "c"}}},
         {{"kemcommand", "from_env"}},
         {RES_help},
         {RES_filename, RES_command}},
        /* the first positional word replaces what the environment gave */
        {{"x", "y"}, {}, {{"value", {"x", "y"}}}, {{"kemvalue", "from_env"}}},
    };
    for (const Decoded &row : rows)
        expect_decoded(scratch.dir(), row);
}

TEST(ResrcDecode, ValueOptionIsAFreeResource) {
    ScratchDir scratch;
    expect_decoded(scratch.dir(), {{"p1", "p2", "-value", "a,b"}, {}, {{"value", {"a", "b"}}}});
    expect_decoded(scratch.dir(), {{"-value", "a,b", "p1", "p2"}, {}, {{"value", {"p1", "p2"}}}});
}

TEST(ResrcDecode, SharedKeyGoesToTheEntryListedFirst) {
    ScratchDir scratch;
    const Decoded rows[] = {
        {{"-in", "5"},
         {{"input", "5"}, {"con_interval", unset}},
         {},
         {},
         {RES_input, RES_con_interval}},
        {{"-in", "5"},
         {{"con_interval", "5"}, {"input", unset}},
         {},
         {},
         {RES_con_interval, RES_input}},
    };
    for (const Decoded &row : rows)
        expect_decoded(scratch.dir(), row);
}

TEST(ResrcDecode, ResourceNameAndLeadingPartWorkAsKeys) {
    ScratchDir scratch;
    for (const char *key : {"-file_path", "-file", "-fi", "-FP", "-File_Path"})
        expect_decoded(scratch.dir(),
                       {{key, "/data"}, {{"file_path", "/data"}, {"file", unset}, {"fi", unset}}});
    expect_decoded(scratch.dir(),
                   {{"-out", "Lat", "-city", "sao.cty", "-outputs", "x"},
                    {{"output", "Lat"}, {"city_file", "sao.cty"}, {"outputs", "x"}}});
    /* a listed short key wins over the leading part of an earlier name */
    expect_decoded(scratch.dir(), {{"-st", "IN"},
                                   {{"state", "IN"}, {"stat_prior", unset}},
                                   {},
                                   {},
                                   {RES_stat_prior, RES_state}});
}

TEST(ResrcDecode, ProgramNameOptionIsCaseSensitiveInTheFirstWalk) {
    ScratchDir scratch;
    scratch.write("kem.cfg", "test.output Titled\n");
    /* the name selects the defaults-file keys */
    expect_decoded(scratch.dir(), {{"-nam", "test", "KORD"},
                                   {{"name", "test"}, {"nam", unset}, {"output", "Titled"}},
                                   {{"value", {"KORD"}}}});
    expect_decoded(scratch.dir(), {{"-NA", "test", "KORD"},
                                   {{"name", unset}, {"NA", unset}, {"output", unset}},
                                   {{"value", {"KORD"}}}});
}

TEST(ResrcDecode, OverlongOptionNameIsCut) {
    ScratchDir scratch;
    const std::string name(200, 'q');
    expect_decoded(scratch.dir(), {{"-" + name, "v1", "-" + std::string(120, 'z') + "=v2"},
                                   {{name.substr(0, 49), "v1"},
                                    {std::string(49, 'z'), "v2"},
                                    {name, unset},
                                    {"value", unset}}});
}

TEST(ResrcDecode, CommandLineBeatsEnvironmentBeatsDefaultsFiles) {
    ScratchDir scratch;
    scratch.write("first/kem.cfg", "kemcity.output: First\n*.input first\n*.parameter first\n"
                                   "kemcity.color_x red\nother.color_y blue\n");
    scratch.write("last/.kemdef", "*output Last\n*.input last\n");
    const std::string path = scratch.path("first") + ":" + scratch.path("last");
    expect_decoded(path, {{},
                          {{"output", "Last"},
                           {"input", "last"},
                           {"parameter", "first"},
                           {"color_x", "red"},
                           {"color_y", unset}}});
    expect_decoded(path, {{"-in", "cmd"},
                          {{"output", "Env"}, {"input", "cmd"}, {"parameter", "first"}},
                          {},
                          {{"kemout", "Env"}, {"keminput", "env"}}});
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
    const std::string b = scratch.path("b");
    const Decoded rows[] = {
        {{"-df", b}, {{"output", "FromB"}, {"input", unset}, {"default", b}}},
        {{"-default=" + b + "/kem.cfg"}, {{"output", "FromB"}}},
        /* upper case is no search-path option in either walk */
        {{"-DF", b, "KORD"}, {{"output", "FromA"}, {"DF", unset}}, {{"value", {"KORD"}}}},
    };
    for (const Decoded &row : rows)
        expect_decoded(scratch.path("a"), row);
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
    expect_decoded(scratch.dir(), {{}, {{"output", "Plain"}}});
}

TEST(ResrcDecode, TooManyCodesAreRefusedNotOverrun) {
    ScratchDir scratch;
    std::vector<res_type> keyed(RES_TABLE_SIZE - 1, RES_icon);
    keyed.push_back(RES_output);
    keyed.push_back(RES_input);
    expect_decoded(scratch.dir(), {{"-ou", "x", "-ic"},
                                   {{"output", unset}, {"ou", "x"}, {"icon", ""}},
                                   {},
                                   {},
                                   keyed,
                                   {RES_values}});
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

/* A message level chosen before the batch option counts like one chosen
   after it. */
TEST(ResrcDecode, BatchAfterAMessageLevelKeepsIt) {
    ScratchDir scratch;
    for (const auto &words : {Items{"-me", "out1", "-ba"}, Items{"-ba", "-me", "out1"}}) {
        in_child([&] {
            clean_environment(scratch.dir());
            init_city(words);
            EXPECT_EQ(FLAG_batch(), 1);
            EXPECT_EQ(MESS_get(), 0xFFFFu) << words[0];
        });
    }
}

/* A whole resource name wins over the leading part of an earlier entry's
   name: -model is model, not model_path. */
TEST(ResrcDecode, WholeNameBeatsTheLeadingPartOfAnEarlierName) {
    ScratchDir scratch;
    expect_decoded(scratch.dir(), {{"-model", "gfs"},
                                   {{"model", "gfs"}, {"model_path", unset}},
                                   {},
                                   {},
                                   {RES_model_path, RES_model}});
}

/* "-name", the longest form of the program-name option, names the program
   like "-n". */
TEST(ResrcDecode, ProgramNameOptionInItsLongestForm) {
    ScratchDir scratch;
    scratch.write("kem.cfg", "test.output Titled\n");
    for (const char *option : {"-n", "-name"})
        expect_decoded(scratch.dir(), {{option, "test", "KORD"},
                                       {{"name", "test"}, {"output", "Titled"}},
                                       {{"value", {"KORD"}}}});
}
