/*
 * Tests of the defaults file reader: the file format and its directives,
 * the search of a directory, the limits of the caller's buffers, key
 * patterns against qualified names, and the environment lookup.
 */
#include "support.h"

#include <grp.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace {

using kemtest::count_of;
using kemtest::ScratchDir;
using Settings = std::vector<std::pair<std::string, std::string>>;

const std::string data_dir = std::string(KEM_TEST_DATA) + "/defaults/";

Settings read_all() {
    Settings out;
    char key[50];
    char value[200];
    while (DEF_get(key, value) == 1)
        out.emplace_back(key, value);
    return out;
}

Settings read_file(const std::string &path) {
    EXPECT_EQ(DEF_open(path.c_str()), 0) << path;
    Settings out = read_all();
    DEF_close();
    return out;
}

/* Reads a file and gives back what it printed on standard error. */
std::string read_file_stderr(const std::string &path, Settings &out) {
    testing::internal::CaptureStderr();
    out = read_file(path);
    return testing::internal::GetCapturedStderr();
}

/* Opens and reads a file that may be refused: what was read, what was
   printed on standard error, and whether it opened. */
std::string try_file(const std::string &path, Settings &out, bool &opened) {
    testing::internal::CaptureStderr();
    opened = DEF_open(path.c_str()) == 0;
    out = read_all();
    DEF_close();
    return testing::internal::GetCapturedStderr();
}

void use_program(const char *title) {
    DEF_name(title);
    DEF_clr_tag();
}

} // namespace

/* ------------------------------------------------------------------------
 * File format and directives
 * ---------------------------------------------------------------------- */

TEST(DefRead, DeliversEveryKeyFormAndDirectiveInOrder) {
    DEF_clr_tag();
    ASSERT_EQ(DEF_tag("Search"), 0); // as "+Search" on the search path
    Settings got;
    std::string err = read_file_stderr(data_dir + "full.def", got);
    Settings want = {
        {"kemcity.output", "ST,Name"},
        {"kemcity.input", "sao.cty"},
        {"*.title", "a value with  two blanks"},
        {"*.note", "no closing quote keeps the rest"},
        {"kemcity.third", "one"},
        {"kemcity.empty", ""},
        {"double.key:", "x"},
        {"in.search", "yes"},
        {"in.alpha", "yes"},
        {"in.elif", "yes"},
        {"in.notgamma", "yes"},
        {"in.delta", "yes"},
        {"after.undef", "yes"},
        {"last.key", "last"},
    };
    EXPECT_EQ(got, want);
    EXPECT_EQ(err, "DEF_get: else without an if\n"
                   "DEF_get: elif without an if\n"
                   "DEF_get: end without an if\n");
}

TEST(DefRead, ElifChainReadsExactlyOneBranch) {
    const std::string file = data_dir + "elif.def";
    struct Case {
        std::vector<const char *> tags;
        const char *branch;
    };
    for (const Case &c :
         {Case{{"b"}, "elif"}, Case{{"a", "b"}, "if"}, Case{{}, "else"}, Case{{"A"}, "if"}}) {
        DEF_clr_tag();
        for (const char *t : c.tags)
            DEF_tag(t);
        Settings want = {{"branch", c.branch}, {"after", "all"}};
        EXPECT_EQ(read_file(file), want) << c.branch;
    }
}

TEST(DefRead, SectionsNestedBeyondTenAreBalancedButNotRead) {
    ScratchDir s;
    std::string text;
    for (int i = 1; i <= 12; ++i)
        text += "IF t\nat.depth" + std::to_string(i) + " yes\n";
    text += "ELSE\nelse.depth12 no\nEND\nEND\nback.depth10 yes\n";
    text += "IF t\nIF t\nagain.depth12 no\nEND\nEND\n"; // second excursion: no second warning
    for (int i = 10; i >= 1; --i)
        text += "END\n";
    text += "outside yes\nEND\n";
    DEF_clr_tag();
    DEF_tag("t");
    Settings got;
    std::string err = read_file_stderr(s.write("deep.def", text), got);
    Settings want;
    for (int i = 1; i <= 10; ++i)
        want.emplace_back("at.depth" + std::to_string(i), "yes");
    want.emplace_back("back.depth10", "yes");
    want.emplace_back("outside", "yes");
    EXPECT_EQ(got, want);
    EXPECT_EQ(count_of(err, "DEF_get: sections nested too deep\n"), 1u);
    EXPECT_EQ(count_of(err, "DEF_get: end without an if\n"), 1u); // the one extra END
}

TEST(DefRead, SectionsLeftOpenEndWithTheirFile) {
    ScratchDir s;
    std::string open_if = s.write("a.def", "IF nothing\nhidden.a no\n");
    std::string next = s.write("b.def", "shown.b yes\n");
    DEF_clr_tag();
    Settings got;
    std::string err = read_file_stderr(open_if, got);
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(err, "DEF_get: if without an end\n");
    EXPECT_EQ(read_file(next), (Settings{{"shown.b", "yes"}}));

    // A file given up half-way leaves nothing open either: the next
    // file's ELSE is a stray one, not the other branch of this IF.
    DEF_tag("t");
    ASSERT_EQ(DEF_open(s.write("c.def", "IF t\nfirst.c yes\nsecond.c yes\n").c_str()), 0);
    char key[50], value[200];
    ASSERT_EQ(DEF_get(key, value), 1);
    EXPECT_STREQ(key, "first.c");
    err = read_file_stderr(s.write("d.def", "ELSE\nshown.d yes\n"), got);
    EXPECT_EQ(got, (Settings{{"shown.d", "yes"}}));
    EXPECT_EQ(err, "DEF_get: else without an if\n");
    DEF_clr_tag();
}

TEST(DefRead, OverlongKeysAreSkippedAndValuesCutWithinTheBuffers) {
    ScratchDir s;
    const std::string key49(49, 'k');
    const std::string key50(50, 'q');
    const std::string value247(247, 'v');
    std::string text = key50 + " dropped\n";       // too long to deliver whole
    text += key49 + ": fits\n";                    // 49 once the ':' is gone
    text += "k " + value247 + "next.key piece2\n"; // the rest belongs to the value
    text += "*." + std::string(60, 'r') + " dropped\n";
    std::string path = s.write("long.def", text);

    use_program("kemcity");
    testing::internal::CaptureStderr();
    ASSERT_EQ(DEF_open(path.c_str()), 0);
    char key[50 + 16];
    char value[200 + 16];
    std::memset(key, '#', sizeof key);
    std::memset(value, '#', sizeof value);
    Settings got;
    while (DEF_get(key, value) == 1) {
        got.emplace_back(key, value);
        EXPECT_EQ(std::string(key + 50, 16), std::string(16, '#'));
        EXPECT_EQ(std::string(value + 200, 16), std::string(16, '#'));
    }
    DEF_close();
    std::string err = testing::internal::GetCapturedStderr();

    Settings want = {{key49, "fits"}, {"k", std::string(199, 'v')}};
    EXPECT_EQ(got, want);
    EXPECT_EQ(count_of(err, "DEF_get: key longer than 49 characters skipped"), 2u);
    EXPECT_EQ(count_of(err, "DEF_get: value of k cut to 199 characters\n"), 1u);
}

/* Lines are read in pieces of 249 characters; what follows the first
   piece is still the same line. */
TEST(DefRead, TheRestOfALongLineBelongsToThatLine) {
    ScratchDir s;
    const std::string pad(247, 'x');
    const std::string blanks(300, ' ');
    std::string text = "# " + pad + "kemcity.output Name\n"; // all comment
    text += "#" + pad + pad + " kemcity.output Name\n";      // over three pieces
    text += "a.k first" + blanks + "kemcity.output Name\n";  // a third word, ignored
    text += "b.k \"" + blanks + "quoted\"\n";                // blanks kept, then cut
    text += std::string(4200, ' ') + "c.k late\n";           // key beyond what is kept
    text += "d.k " + std::string(5000, 'w') + "\n";          // cut, and only once
    text += "e.k last\n";
    Settings got;
    std::string err = read_file_stderr(s.write("long.def", text), got);
    Settings want = {{"a.k", "first"},
                     {"b.k", std::string(199, ' ')},
                     {"d.k", std::string(199, 'w')},
                     {"e.k", "last"}};
    EXPECT_EQ(got, want);
    EXPECT_EQ(err, "DEF_get: value of b.k cut to 199 characters\n"
                   "DEF_get: value of d.k cut to 199 characters\n");
}

TEST(DefRead, ValuesThatWouldRunACommandAreRefusedNamingTheFile) {
    ScratchDir s;
    std::string path = s.write("pipes.def", "a.input |cat\n"
                                            "b.input \"  |echo ran >&2\"\n"
                                            "c.input data,|cat\n"
                                            "d.message warn,fi:|cat\n"
                                            "e.input plain\n");
    Settings got;
    std::string err = read_file_stderr(path, got);
    EXPECT_EQ(got, (Settings{{"e.input", "plain"}}));
    for (const char *key : {"a.input", "b.input", "c.input", "d.message"})
        EXPECT_EQ(count_of(err, "DEF_get: " + path + ": value of " + key +
                                    " refused, it could run a command\n"),
                  1u);
}

TEST(DefRead, BinaryGarbageEndsCleanly) {
    ScratchDir s;
    std::string junk;
    unsigned x = 12345;
    for (int i = 0; i < 20000; ++i) {
        x = x * 1103515245u + 12345u;
        junk += static_cast<char>(x >> 16);
        if (i % 997 == 0)
            junk += "\nIF x\n\"";
    }
    ASSERT_EQ(DEF_open(s.write("junk.def", junk).c_str()), 0);
    testing::internal::CaptureStderr();
    char key[50], value[200];
    int n = 0;
    while (DEF_get(key, value) == 1) {
        EXPECT_LE(std::strlen(key), 49u);
        EXPECT_LE(std::strlen(value), 199u);
        ++n;
    }
    testing::internal::GetCapturedStderr();
    EXPECT_LT(n, 20000);
    EXPECT_EQ(DEF_get(key, value), -1);
    DEF_close();
}

TEST(DefTag, KeepsCopiesAndStopsAtTen) {
    ScratchDir s;
    DEF_clr_tag();
    char buffer[16];
    std::strcpy(buffer, "t1");
    ASSERT_EQ(DEF_tag(buffer), 0);
    std::strcpy(buffer, "changed"); // the tag outlives the caller's text
    for (int i = 2; i <= 9; ++i)
        ASSERT_EQ(DEF_tag(("t" + std::to_string(i)).c_str()), 0);
    std::string text = "DEF tenth\nDEF eleventh\n"
                       "IF tenth\nten yes\nEND\nIF eleventh\neleven no\nEND\n"
                       "UNDEF T1\nUNDEF undefined\nDEF eleventh\n"
                       "IF eleventh\neleven yes\nEND\nIF t1\none no\nEND\nIF t2\ntwo yes\nEND\n";
    EXPECT_EQ(read_file(s.write("tags.def", text)),
              (Settings{{"ten", "yes"}, {"eleven", "yes"}, {"two", "yes"}}));
    EXPECT_EQ(DEF_tag("twelfth"), -1); // full again
    DEF_clr_tag();
    EXPECT_EQ(DEF_tag("twelfth"), 0);
    DEF_clr_tag();
}

/* ------------------------------------------------------------------------
 * Opening files and directories
 * ---------------------------------------------------------------------- */

TEST(DefOpen, DirectoryPrefersKemCfgThenDotKemdefThenKemRes) {
    DEF_clr_tag();
    EXPECT_EQ(read_file(data_dir + "both"), (Settings{{"from.cfg", "yes"}}));
    EXPECT_EQ(read_file(data_dir + "both/"), (Settings{{"from.cfg", "yes"}}));
    EXPECT_EQ(read_file(data_dir + "resonly"), (Settings{{"from.res", "yes"}}));

    ScratchDir s;
    s.write(".kemdef", "from.kemdef yes\n");
    s.write("Kem.res", "from.res no\n");
    EXPECT_EQ(read_file(s.dir()), (Settings{{"from.kemdef", "yes"}}));

    ScratchDir empty;
    char key[50], value[200];
    EXPECT_EQ(DEF_open(empty.dir().c_str()), -1);
    EXPECT_EQ(DEF_get(key, value), -1);
}

TEST(DefOpen, NoNameMeansDotKemdefInTheWorkingDirectory) {
    ScratchDir s;
    s.write(".kemdef", "here yes\n");
    std::string home = std::filesystem::current_path();
    ASSERT_EQ(chdir(s.dir().c_str()), 0);
    DEF_clr_tag();
    EXPECT_EQ(DEF_open(nullptr), 0);
    EXPECT_EQ(read_all(), (Settings{{"here", "yes"}}));
    EXPECT_EQ(DEF_open(""), 0);
    EXPECT_EQ(read_all(), (Settings{{"here", "yes"}}));
    DEF_close();
    ASSERT_EQ(chdir(home.c_str()), 0);
}

TEST(DefOpen, FailuresAnswerMinusOneAndReadNothing) {
    ScratchDir s;
    char key[50], value[200];
    std::string good = s.write("good.def", "a.b c\n");

    EXPECT_EQ(DEF_open((s.dir() + "/missing.def").c_str()), -1);
    EXPECT_EQ(DEF_get(key, value), -1);

    ASSERT_EQ(DEF_open(good.c_str()), 0);
    EXPECT_EQ(DEF_get(nullptr, value), -1);
    EXPECT_EQ(DEF_get(key, nullptr), -1);
    DEF_close();
    EXPECT_EQ(DEF_get(key, value), -1);
    EXPECT_EQ(DEF_close(), 0); // closing twice is harmless

    // Full names hold at most 79 characters; a directory of 71 leaves
    // just room for "/kem.cfg".
    std::string dir71 = s.dir() + "/" + std::string(70 - s.dir().size(), 'd');
    ASSERT_EQ(dir71.size(), 71u);
    kemtest::write_file(dir71 + "/kem.cfg", "deep.key yes\n");
    EXPECT_EQ(read_file(dir71), (Settings{{"deep.key", "yes"}}));

    std::string dir72 = dir71 + "e";
    kemtest::write_file(dir72 + "/kem.cfg", "deep.key no\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(DEF_open(dir72.c_str()), -1);
    EXPECT_EQ(DEF_open((std::string(80, 'n')).c_str()), -1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(count_of(err, "DEF_open: file name too long"), 2u);
    EXPECT_EQ(DEF_get(key, value), -1);
}

/* A file is read only when nobody but the user or root could have written
   it; a named pipe is looked at without waiting for a writer. */
TEST(DefOpen, FilesOthersMayWriteAreSkippedWithAWarning) {
    ScratchDir s;
    const struct {
        mode_t mode;
        bool read;
    } cases[] = {{0644, true}, {0600, true}, {0444, true}, {0646, false}, {0666, false}};
    for (const auto &c : cases) {
        std::string path = s.write("m.def", "a.b yes\n");
        ASSERT_EQ(chmod(path.c_str(), c.mode), 0);
        Settings got;
        bool opened = false;
        std::string err = try_file(path, got, opened);
        EXPECT_EQ(opened, c.read) << std::oct << c.mode;
        EXPECT_EQ(got, (c.read ? Settings{{"a.b", "yes"}} : Settings{})) << std::oct << c.mode;
        EXPECT_EQ(err, c.read ? "" : "DEF_open: " + path + " skipped: group or others may write it\n")
            << std::oct << c.mode;
    }
    std::string fifo = s.path("fifo.def");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(read_file(fifo), Settings{}); // the user's own: read, and it is empty
    ASSERT_EQ(chmod(fifo.c_str(), 0622), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(DEF_open(fifo.c_str()), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "DEF_open: " + fifo + " skipped: group or others may write it\n");
}

TEST(DefOpen, FileOfAnotherUserIsSkippedAndAGroupOnlyWhenNotTheOwnersOwn) {
    KEMTEST_NEEDS_ROOT();
    ScratchDir s;
    const int a = static_cast<int>(kemtest::user_a);
    const std::string theirs = "it belongs to uid " + std::to_string(a) + ", neither you nor root";
    const struct {
        const char *name;
        int owner, group;
        mode_t mode;
        const char *skipped; // null: read
    } cases[] = {{"a.def", a, a, 0644, theirs.c_str()},
                 {"b.def", 0, a, 0664, "group or others may write it"},
                 {"c.def", 0, a, 0644, nullptr}};
    for (const auto &c : cases) {
        std::string path = s.write(c.name, "a.b yes\n");
        ASSERT_EQ(chown(path.c_str(), c.owner, c.group), 0);
        ASSERT_EQ(chmod(path.c_str(), c.mode), 0);
        Settings got;
        bool opened = false;
        std::string err = try_file(path, got, opened);
        EXPECT_EQ(opened, c.skipped == nullptr) << c.name;
        EXPECT_EQ(got, (c.skipped ? Settings{} : Settings{{"a.b", "yes"}})) << c.name;
        EXPECT_EQ(err, c.skipped ? "DEF_open: " + path + " skipped: " + c.skipped + "\n" : "")
            << c.name;
    }
    // Another user's file found in a directory is skipped the same way.
    ScratchDir shared;
    std::string cfg = shared.write("kem.cfg", "a.b yes\n");
    ASSERT_EQ(chown(cfg.c_str(), a, a), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(DEF_open(shared.dir().c_str()), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "DEF_open: " + cfg + " skipped: " + theirs + "\n");
    // A pipe planted by someone else is not waited on.
    std::string fifo = shared.path("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    ASSERT_EQ(chown(fifo.c_str(), a, a), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(DEF_open(fifo.c_str()), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "DEF_open: " + fifo + " skipped: " + theirs + "\n");
    // Root's group is root's private group here: root may let it write.
    const group *root_group = getgrgid(0);
    bool shared_root_group = root_group == nullptr || root_group->gr_mem[0] != nullptr;
    setpwent();
    for (const passwd *pw = getpwent(); pw != nullptr; pw = getpwent())
        shared_root_group = shared_root_group || (pw->pw_gid == 0 && pw->pw_uid != 0);
    endpwent();
    if (shared_root_group)
        GTEST_SKIP() << "group 0 is not root's alone on this machine";
    std::string path = s.write("d.def", "a.b yes\n");
    ASSERT_EQ(chown(path.c_str(), 0, 0), 0);
    ASSERT_EQ(chmod(path.c_str(), 0664), 0);
    EXPECT_EQ(read_file(path), (Settings{{"a.b", "yes"}}));
}

/* ------------------------------------------------------------------------
 * Key patterns and qualified names
 * ---------------------------------------------------------------------- */

TEST(DefCmp, KeyPatternsSelectQualifiedNames) {
    use_program("kemcity");
    EXPECT_EQ(DEF_cmp("output", "*.output"), 1);
    EXPECT_EQ(DEF_cmp("output", "*output"), 1);
    EXPECT_EQ(DEF_cmp("output", "kemcity.output"), 1);
    EXPECT_EQ(DEF_cmp("output", "kemcity.out"), 0);
    EXPECT_EQ(DEF_cmp("output", "kemplot.output"), 0);
    EXPECT_EQ(DEF_cmp("output", "KEMCITY.OUTPUT"), 0); // keys arrive lower-cased
    // A run is taken at its first occurrence only.
    EXPECT_EQ(DEF_cmp("data", "*a"), 0);
    EXPECT_EQ(DEF_cmp("data", "*ta"), 1);
    // A final '*' meets only a name already used up.
    EXPECT_EQ(DEF_cmp("output", "kemcity.output*"), 1);
    EXPECT_EQ(DEF_cmp("output", "kemcity.*"), 0);
    EXPECT_EQ(DEF_cmp(nullptr, "*.output"), 0);
    // A bare key addresses no program.
    EXPECT_EQ(DEF_valid("output"), 0);
    EXPECT_EQ(DEF_valid("kemcity.output"), 1);
    EXPECT_EQ(DEF_valid("*output"), 1);
    EXPECT_EQ(DEF_valid("kemplot.output"), 0);
    EXPECT_EQ(DEF_valid("kemcity."), 0); // no resource name
    use_program("other");
    EXPECT_EQ(DEF_cmp("output", "other.output"), 1);
    EXPECT_EQ(DEF_cmp("output", "kemcity.output"), 0);
    use_program("");
}

TEST(DefCmp, PlusTitleAddsAVariantAfterTheProgramName) {
    static char path[] = "/usr/local/bin/kemcity";
    static char *argv[] = {path, nullptr};
    RES_setCL(1, argv);
    DEF_prog();
    use_program("");
    EXPECT_EQ(DEF_cmp("output", "kemcity.output"), 1);
    use_program("+test");
    EXPECT_EQ(DEF_cmp("output", "kemcity.test.output"), 1);
    EXPECT_EQ(DEF_cmp("output", "kemcity.output"), 0);
    EXPECT_EQ(DEF_cmp("output", "*.output"), 1);
    char value[200];
    setenv("kemkemcity.test.output", "variant", 1);
    EXPECT_EQ(DEF_env("output", "", value), 1);
    EXPECT_STREQ(value, "variant");
    unsetenv("kemkemcity.test.output");
    use_program("");
}

TEST(DefCmp, ProgramNameIsKemUntilSet) {
    GTEST_FLAG_SET(death_test_style, "threadsafe"); // a fresh process, untouched state
    EXPECT_EXIT(
        {
            std::fprintf(stderr, "Kem=%d kemcity=%d\n", DEF_cmp("output", "Kem.output"),
                         DEF_cmp("output", "kemcity.output"));
            std::exit(0);
        },
        testing::ExitedWithCode(0), "Kem=1 kemcity=0");
}

TEST(DefCmp, LongestLegalNamesAreComparedWhole) {
    const std::string title29(29, 't');
    const std::string res29(29, 'r');
    use_program(title29.c_str());
    EXPECT_EQ(DEF_cmp(res29.c_str(), (title29 + "." + res29).c_str()), 1);
    EXPECT_EQ(DEF_cmp(res29.c_str(), (title29 + "." + res29.substr(1)).c_str()), 0);
    EXPECT_EQ(DEF_valid(("*." + res29).c_str()), 1);
    EXPECT_EQ(DEF_valid(("*." + res29 + "r").c_str()), 0); // its name would not fit
    // Titles hold 29 characters; the rest of a longer one is not used.
    use_program((title29 + "X").c_str());
    EXPECT_EQ(DEF_cmp("output", (title29 + ".output").c_str()), 1);
    use_program("");
}

TEST(DefParseName, CopiesTheTextAfterTheLastSeparatorBounded) {
    char name[30 + 8];
    auto parse = [&](const char *key) {
        std::memset(name, '#', sizeof name);
        EXPECT_EQ(DEF_parse_name(key, name), 1);
        EXPECT_EQ(std::string(name + 30, 8), std::string(8, '#'));
        return std::string(name);
    };
    EXPECT_EQ(parse("kemcity.output"), "output");
    EXPECT_EQ(parse("kemcity.test*extra.name"), "name");
    EXPECT_EQ(parse("a.b*c"), "c");
    EXPECT_EQ(parse("plain"), "plain");
    EXPECT_EQ(parse(("*." + std::string(40, 'r')).c_str()), std::string(29, 'r'));
}

/* ------------------------------------------------------------------------
 * Environment
 * ---------------------------------------------------------------------- */

TEST(DefEnv, QualifiedNameThenEntryNameThenPlainName) {
    use_program("kemcity");
    char value[200];
    setenv("kemkemcity.output", "qualified", 1);
    setenv("kemout", "entry", 1);
    setenv("kemoutput", "plain", 1);
    EXPECT_EQ(DEF_env("output", "kemout", value), 1);
    EXPECT_STREQ(value, "qualified");
    unsetenv("kemkemcity.output");
    EXPECT_EQ(DEF_env("output", "kemout", value), 1);
    EXPECT_STREQ(value, "entry");
    EXPECT_EQ(DEF_env("output", "", value), 1); // no entry name: straight to the plain one
    EXPECT_STREQ(value, "plain");
    unsetenv("kemout");
    EXPECT_EQ(DEF_env("output", "kemout", value), 1);
    EXPECT_STREQ(value, "plain");
    unsetenv("kemoutput");
    EXPECT_EQ(DEF_env("output", "kemout", value), 0);
    use_program("");
}

TEST(DefEnv, LongNamesAreWholeAndLongValuesCut) {
    const std::string title29(29, 't');
    const std::string res29(29, 'r');
    use_program(title29.c_str());
    std::string var = "kem" + title29 + "." + res29;
    setenv(var.c_str(), std::string(300, 'v').c_str(), 1);
    char value[200 + 16];
    std::memset(value, '#', sizeof value);
    testing::internal::CaptureStderr();
    EXPECT_EQ(DEF_env(res29.c_str(), "", value), 1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::string(value), std::string(199, 'v'));
    EXPECT_EQ(std::string(value + 200, 16), std::string(16, '#'));
    EXPECT_EQ(count_of(err, "cut to 199 characters"), 1u);
    unsetenv(var.c_str());
    use_program("");
}

/* The defaults file is closed when another is opened, when an opening
   fails and when it is closed: a program reading many files holds at most
   one open. */
TEST(DefOpen, OpeningAnotherFileClosesTheFirst) {
    ScratchDir s;
    std::string one = s.write("one.def", "a.b c\n"), two = s.write("two.def", "d.e f\n");
    const int before = kemtest::open_descriptors();
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(DEF_open(one.c_str()), 0);
        ASSERT_EQ(DEF_open(two.c_str()), 0);
        EXPECT_EQ(kemtest::open_descriptors(), before + 1) << "round " << round;
        EXPECT_EQ(DEF_open(s.path("missing.def").c_str()), -1);
        EXPECT_EQ(kemtest::open_descriptors(), before) << "round " << round;
        ASSERT_EQ(DEF_open(two.c_str()), 0);
        DEF_close();
        EXPECT_EQ(kemtest::open_descriptors(), before) << "round " << round;
    }
}
