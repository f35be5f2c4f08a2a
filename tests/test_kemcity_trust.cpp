/*
 * End-to-end tests of what another user's files can do to a kemcity run:
 * a defaults file left in a shared working directory, and a symbolic link
 * planted where the user writes a message file.  The users are two
 * unprivileged ids that a test run as root becomes (user_a plants, user_b
 * runs kemcity); without root the tests are skipped.
 */
#include "kemcity_run.h"

#include <sys/stat.h>

namespace {

using kemtest::user_a;
using kemtest::user_b;

const char *const chicago = "KORD Chicago IL 41.98 -87.90 201 2746388 \n"
                            "KMDW Chicago_Midway IL 41.79 -87.75 188 2746388 \n";

/* The scratch directory is a shared one, as /tmp is: root's, anyone may
   make files in it, and kemcity runs there as user_b.  user_b's own files
   are in home-b. */
class SharedDirectory : public KemcityTest {
  protected:
    void SetUp() override {
        KEMTEST_NEEDS_ROOT();
        copy_fixture("cities.raw");
        run_as(user_b);
        ASSERT_EQ(chown(dir().c_str(), 0, 0), 0);
        ASSERT_EQ(chmod(dir().c_str(), 01777), 0);
        write("home-b/notes", "# mine\n");
        give("home-b", user_b);
        give("home-b/notes", user_b);
    }
    /* Hands a file of the scratch directory over to `uid`, group and all. */
    void give(const std::string &name, uid_t uid, gid_t gid = static_cast<gid_t>(-1)) {
        std::string path = dir() + "/" + name;
        ASSERT_EQ(lchown(path.c_str(), uid, gid == static_cast<gid_t>(-1) ? uid : gid), 0) << name;
    }
    std::string notes() const { return kemtest::read_file(dir() + "/home-b/notes"); }
};

TEST_F(SharedDirectory, DefaultsFileIsReadOnlyWhenNobodyElseCouldHaveWrittenIt) {
    // Settings aimed at user_b's own file: the warnings would be appended.
    const std::string planted = "kemcity.message: warn,+fi:" + dir() + "/home-b/notes\n"
                                "kemcity.output: ID\n";
    const std::string theirs = "DEF_open: ./kem.cfg skipped: it belongs to uid " +
                               std::to_string(user_a) + ", neither you nor root\n";
    const std::string group = "DEF_open: ./kem.cfg skipped: group or others may write it\n";
    const struct {
        uid_t owner;
        gid_t group;
        mode_t mode;
        std::string err; // empty: read
    } cases[] = {{user_a, user_a, 0644, theirs},
                 {user_b, user_a, 0664, group}, // a group that is not user_b's own
                 {user_b, user_b, 0646, group},
                 {user_b, user_b, 0644, ""},
                 {0, 0, 0644, ""}};
    for (const auto &c : cases) {
        write("home-b/notes", "# mine\n");
        write("kem.cfg", planted);
        give("kem.cfg", c.owner, c.group);
        ASSERT_EQ(chmod((dir() + "/kem.cfg").c_str(), c.mode), 0);
        RunResult result = run({"-in", "cities.raw", "Chicago"}, {"kemdefault=."});
        EXPECT_EQ(result.out, c.err.empty() ? "KORD \nKMDW \n" : chicago) << c.owner;
        EXPECT_EQ(result.err, c.err) << c.owner;
        EXPECT_EQ(result.status, 0) << c.owner;
        // What a file the user trusts says is done, output to the log and all.
        EXPECT_EQ(notes(), c.err.empty() ? "# mine\nKORD \nKMDW \n" : "# mine\n") << c.owner;
    }
}

TEST_F(SharedDirectory, MessageFileIsNeverALinkAnotherUserPlanted) {
    const std::string kspi = "Opening: cities.raw\nKSPI Springfield IL 39.84 -89.68 179 114394 \n";
    ASSERT_EQ(symlink((dir() + "/home-b/notes").c_str(), (dir() + "/run.log").c_str()), 0);
    give("run.log", user_a);
    // "fi:" writes to the file only: with the file refused, nothing is shown.
    const struct {
        const char *item;
        std::string out;
    } cases[] = {{"-fi:run.log", banner + kspi}, {"+fi:run.log", banner + kspi}, {"fi:run.log", ""}};
    for (const auto &[item, out] : cases) {
        RunResult result = run({"-me", std::string("mess,") + item, "-in", "cities.raw", "KSPI"});
        EXPECT_EQ(result.out, out) << item;
        EXPECT_EQ(result.err, "MESS: message file run.log refused: a symbolic link where others "
                              "may write\n")
            << item;
        EXPECT_EQ(notes(), "# mine\n") << item;
    }
    // user_b's own link in user_b's own directory is followed.
    ASSERT_EQ(symlink("notes", (dir() + "/home-b/run.log").c_str()), 0);
    give("home-b/run.log", user_b);
    RunResult result = run({"-me", "mess,-fi:home-b/run.log", "-in", "cities.raw", "KSPI"});
    expect_output(result, banner + kspi);
    EXPECT_EQ(notes(), banner + kspi);
}

} // namespace
