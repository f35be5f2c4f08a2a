/*
 * End-to-end tests of the start-up exchange with a display window: kemcity
 * reads its settings from a running stand-in window named in its defaults
 * search path, over queues and over sockets.
 */
#include "kemcity_run.h"
#include "loop_window.h"

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

INSTANTIATE_TEST_SUITE_P(Transports, WindowStartup, ::testing::Values(false, true),
                         [](const auto &param) { return param.param ? "Sockets" : "Queues"; });

} // namespace
