/*
 * End-to-end tests of the start-up exchange with a display window: kemcity
 * reads its settings from a running stand-in window named in its defaults
 * search path, over queues and over sockets.
 */
#include "kemcity_run.h"
#include "loop_window.h"

#include <sys/msg.h>

using kemtest::LoopWindow;

namespace {

const char *const kspi = "KSPI Springfield IL 39.84 -89.68 179 114394 \n";

class WindowStartup : public KemcityTest, public ::testing::WithParamInterface<bool> {
  protected:
    /* The defaults file of the scratch directory puts the link on this
       test's window numbers and transport. */
    void SetUp() override {
        copy_fixture("cities.raw");
        write(".kemdef", "kemcity.parameter: " + parameter() + "\n");
    }
    std::string parameter() const {
        return "qoffset=" + std::to_string(kemtest::window_offset()) +
               (GetParam() ? ",qtype=sock" : "");
    }
    std::vector<std::string> flags(std::vector<std::string> more = {}) const {
        if (GetParam())
            more.push_back("-s");
        return more;
    }
};

TEST_P(WindowStartup, WindowValuesWinAndTheProgramsOwnAreHandedOver) {
    LoopWindow window(7, flags(), "value=KSPI\nmessage=print\n");
    expect_output(run({"-df", ".:#7", "-in", "cities.raw"}), kspi);
    EXPECT_EQ(window.dump(),
              "input=cities.raw\nmessage=print\nparameter=" + parameter() + "\nvalue=KSPI\n");
    // The same through the search path of the environment.
    expect_output(run({}, {"kemdefault=" + dir() + ":#7"}), kspi);
}

TEST_P(WindowStartup, ValueWithoutLineEndIsStoredWhole) {
    LoopWindow window(8, flags({"-n"}), "value=KSPI\n");
    expect_output(run({"-df", ".:#8"}), kspi);
}

TEST_P(WindowStartup, AbsentWindowIsReportedAndTheLookupGoesOn) {
    RunResult result = run({"-df", ".:#9", "KSPI"});
    EXPECT_EQ(result.out, kspi);
    EXPECT_EQ(result.err, "VARoviz window: 9 not running or no message queue exists\n");
    EXPECT_EQ(result.status, 0);
}

TEST_P(WindowStartup, NoAlarmOutlivesStartUp) {
    LoopWindow window(10, flags(), "value=KSPI\n");
    kemtest::in_child([&] {
        kemtest::clean_environment(dir());
        setenv("kemtz", "-CST:-6", 1);
        MQ_offset(kemtest::window_offset());
        MQ_settype(GetParam() ? 1 : 0);
        int argc = 0;
        char **argv = kemtest::make_argv({"kemcity", "-df", "#10"}, &argc);
        RES_init(argc, argv, kemtest::city_keyed, kemtest::city_positional);
        EXPECT_STREQ(RES_get("value"), "KSPI");
        EXPECT_EQ(alarm(0), 0u);
        EXPECT_STREQ(DATE_get_tz_str(), " CST");
        EXPECT_EQ(DATE_get_tz_off(), -21600);
    });
}

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST_P(WindowStartup, ValuesThatCouldRunACommandAreRefusedAsInADefaultsFile) {
    LoopWindow window(11, flags(),
                      "value=KSPI\nvalue=KORD|x\nmessage=-fi:|touch ran-message\n"
                      "input=|touch ran-input\nfile_path=.\n");
    RunResult result = run({"-df", ".:#11", "-in", "cities.raw"});
    EXPECT_EQ(result.out, kspi);
    EXPECT_EQ(result.err,
              "VARoviz window: 11: value of message refused, it could run a command\n"
              "VARoviz window: 11: value of input refused, it could run a command\n"
              "VARoviz window: 11: value of value refused, it could run a command\n");
    EXPECT_EQ(result.status, 0);
    EXPECT_FALSE(std::filesystem::exists(dir() + "/ran-message"));
    EXPECT_FALSE(std::filesystem::exists(dir() + "/ran-input"));
}

TEST_P(WindowStartup, EndlessRepliesEndTheLinkAndStartUpGoesOn) {
    // 101 replies of one character; 70 replies of 118 characters pass 8192 bytes.
    for (const std::string &flood : {std::string("value=!"), "value=!" + std::string(117, 'x')}) {
        LoopWindow window(12, flags({"-f", flood}), "message=print\n");
        auto start = std::chrono::steady_clock::now();
        RunResult result = run({"-df", ".:#12", "-in", "cities.raw", "KSPI"});
        EXPECT_EQ(result.out, kspi);
        EXPECT_EQ(result.err, "VARoviz window: 12 sent more than 100 replies or 8192 bytes to one "
                              "request, link ended\n");
        EXPECT_EQ(result.status, 0);
        EXPECT_LT(seconds_since(start), 10.0) << flood;
    }
}

TEST_P(WindowStartup, SlowWindowIsLeftAtThreeTimeOuts) {
    write(".kemdef", "kemcity.parameter: " + parameter() + ",to=1\n");
    // Each reply comes well within the time-out, but they never end.
    LoopWindow window(13, flags({"-f", "value=!", "-w", "250"}));
    auto start = std::chrono::steady_clock::now();
    RunResult result = run({"-df", ".:#13", "-in", "cities.raw", "KSPI"});
    double secs = seconds_since(start);
    EXPECT_EQ(result.out, kspi);
    EXPECT_EQ(result.err, "VARoviz window: 13 took longer than 3 s, link ended\n");
    EXPECT_EQ(result.status, 0);
    EXPECT_GT(secs, 2.9);
    EXPECT_LT(secs, 8.0);
}

TEST_P(WindowStartup, OnlyTheUsersOwnWindowOrRootsIsTalkedTo) {
    KEMTEST_NEEDS_ROOT();
    run_as(kemtest::user_b);
    // Without the window's value every station is listed.
    const std::string alone = run({"-in", "cities.raw"}).out;
    // Root's queue grants user_b nothing, so only root's socket window is usable.
    const struct {
        int owner;
        bool used;
    } cases[] = {{static_cast<int>(kemtest::user_a), false},
                 {static_cast<int>(kemtest::user_b), true},
                 {0, GetParam()}};
    for (const auto &c : cases) {
        LoopWindow window(14, flags(), "value=KSPI\n", c.owner);
        RunResult result = run({"-df", ".:#14", "-in", "cities.raw"});
        if (c.used) {
            expect_output(result, kspi);
            EXPECT_EQ(kemtest::count_of(window.dump(), "input=cities.raw\n"), 1u) << c.owner;
        } else {
            EXPECT_EQ(result.out, alone);
            EXPECT_EQ(result.err, "VARoviz window: 14 refused: another user owns it or may use it\n");
            EXPECT_EQ(result.status, 0);
            // Nothing was sent: not the user's id, not the options.
            EXPECT_EQ(window.dump(), "value=KSPI\n") << c.owner;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Transports, WindowStartup, ::testing::Values(false, true),
                         [](const auto &param) { return param.param ? "Sockets" : "Queues"; });

/* A queue is the user's only when nobody else may use it. */
TEST_F(KemcityTest, QueueOpenToGroupOrOthersIsRefused) {
    copy_fixture("cities.raw");
    write(".kemdef", "kemcity.parameter: qoffset=" + std::to_string(kemtest::window_offset()) + "\n");
    const struct {
        int mode;
        bool used;
    } cases[] = {{0600, true}, {0640, false}, {0620, false}, {0604, false}, {0602, false}};
    const std::string alone = run({"-in", "cities.raw"}).out;
    for (const auto &c : cases) {
        LoopWindow window(15, {}, "value=KSPI\n");
        int q = msgget(kemtest::window_offset() + 15, 0);
        msqid_ds ds = {};
        ASSERT_EQ(msgctl(q, IPC_STAT, &ds), 0);
        ds.msg_perm.mode = static_cast<unsigned short>(c.mode);
        ASSERT_EQ(msgctl(q, IPC_SET, &ds), 0);
        RunResult result = run({"-df", ".:#15", "-in", "cities.raw"});
        EXPECT_EQ(result.out, c.used ? kspi : alone) << std::oct << c.mode;
        EXPECT_EQ(result.err, c.used ? ""
                                     : "VARoviz window: 15 refused: another user owns it or may "
                                       "use it\n")
            << std::oct << c.mode;
    }
}

} // namespace
