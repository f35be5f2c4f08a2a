/*
 * Tests of resource value conversion (RES_conv_data, RES_set_device).
 * Conversions that set flags run in a child so each starts from the
 * flags RES_init would leave.
 */
#include "support.h"

#include <cstdint>

using namespace kemtest;

TEST(ResrcConv, BoolWithoutValueMeansTrue) {
    int flag = 7;
    EXPECT_EQ(RES_conv_data(nullptr, &flag, CV_bool), 1);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(RES_conv_data("OFF", &flag, CV_bool), 1);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(RES_conv_data("Yes", &flag, CV_bool), 1);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(RES_conv_data("no", &flag, CV_bool), 1);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(RES_conv_data("maybe", &flag, CV_bool), 1);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(RES_conv_data("true", nullptr, CV_bool), 0);
    EXPECT_EQ(RES_conv_data(nullptr, nullptr, CV_bool), 0);
}

TEST(ResrcConv, IntReadsDecimalAndHexOrLeavesDestination) {
    int value = 5;
    EXPECT_EQ(RES_conv_data("0x1F", &value, CV_int), 1);
    EXPECT_EQ(value, 31);
    RES_conv_data("-12", &value, CV_int);
    EXPECT_EQ(value, -12);
    RES_conv_data("abc", &value, CV_int);
    EXPECT_EQ(value, -12);
    RES_conv_data("+7", &value, CV_int);
    EXPECT_EQ(value, 7);
    RES_conv_data("12abc", &value, CV_int);
    EXPECT_EQ(value, 12);
    RES_conv_data("0XfFfFfFfF", &value, CV_int);
    EXPECT_EQ(value, -1);
    RES_conv_data("99999999999", &value, CV_int);
    EXPECT_EQ(value, -1);
    RES_conv_data("-", &value, CV_int);
    EXPECT_EQ(value, -1);
    EXPECT_EQ(RES_conv_data(nullptr, &value, CV_int), 0);
    EXPECT_EQ(RES_conv_data("3", nullptr, CV_int), 0);
}

TEST(ResrcConv, ShortAndLongNeedALeadingDigit) {
    std::int16_t small = 9;
    std::int64_t big = 9;
    RES_conv_data("-5", &small, CV_short);
    RES_conv_data("-5", &big, CV_long);
    EXPECT_EQ(small, 9);
    EXPECT_EQ(big, 9);
    RES_conv_data("123", &small, CV_short);
    RES_conv_data("8589934592", &big, CV_long);
    EXPECT_EQ(small, 123);
    EXPECT_EQ(big, 8589934592LL);
    RES_conv_data("70000", &small, CV_short);
    EXPECT_EQ(small, 123);
}

TEST(ResrcConv, FloatAndColor) {
    float number = 1.0f;
    RES_conv_data("2.5", &number, CV_float);
    EXPECT_FLOAT_EQ(number, 2.5f);
    RES_conv_data("abc", &number, CV_float);
    EXPECT_FLOAT_EQ(number, 0.0f);
    std::int64_t color = 0;
    RES_conv_data("4278190335", &color, CV_color);
    EXPECT_EQ(color, 4278190335LL);
}

TEST(ResrcConv, TextKinds) {
    const char *value = "stored text";
    const char *ref = nullptr;
    EXPECT_EQ(RES_conv_data(value, &ref, CV_string), 1);
    EXPECT_EQ(ref, value);

    char buf[KEM_PATH_MAX];
    RES_conv_data("copy me", buf, CV_strcpy);
    EXPECT_STREQ(buf, "copy me");
    const std::string longer(400, 'L');
    RES_conv_data(longer.c_str(), buf, CV_strcpy);
    EXPECT_EQ(std::string(buf), longer.substr(0, KEM_PATH_MAX - 1));

    int untouched = 3;
    for (DEF_convert kind : {CV_none, CV_current, CV_name, CV_ingestor, CV_strings}) {
        EXPECT_EQ(RES_conv_data("x", &untouched, kind), 1);
        EXPECT_EQ(RES_conv_data("x", nullptr, kind), 0);
    }
    EXPECT_EQ(untouched, 3);
}

TEST(ResrcConv, PathGetsItsDelimiterInAnOwnedCopy) {
    char *path = nullptr;
    EXPECT_EQ(RES_conv_data("/data", &path, CV_path), 1);
    EXPECT_STREQ(path, "/data/");
    std::free(path);
    RES_conv_data("/data/", &path, CV_path);
    EXPECT_STREQ(path, "/data/");
    std::free(path);
    RES_conv_data("NONE", &path, CV_path);
    EXPECT_STREQ(path, "");
    std::free(path);
    const std::string longer(300, 'd');
    RES_conv_data(longer.c_str(), &path, CV_path);
    EXPECT_EQ(std::string(path).substr(0, 300), longer);
    std::free(path);
}

TEST(ResrcConv, DeviceSetsFlagAndNamesTheOutput) {
    EXPECT_EQ(RES_set_device("p"), 4);
    EXPECT_EQ(RES_set_device("Q"), 5);
    EXPECT_EQ(RES_set_device("h"), 5);
    EXPECT_EQ(RES_set_device("M"), 3);
    EXPECT_EQ(RES_set_device("window"), 6);
    EXPECT_EQ(RES_set_device("d"), 1);
    EXPECT_EQ(RES_set_device("x"), 1);
    EXPECT_EQ(RES_set_device(""), 1);
    EXPECT_EQ(RES_set_device(nullptr), 1);
    in_child([] {
        FLAG_reset(KEM_MISSING);
        const char *name = nullptr;
        const char *value = "p,out.ps";
        EXPECT_EQ(RES_conv_data(value, &name, CV_device), 1);
        EXPECT_EQ(FLAG_get(2), 4);
        EXPECT_EQ(name, value + 2);
        name = nullptr;
        RES_conv_data("w", &name, CV_device);
        EXPECT_EQ(FLAG_get(2), 6);
        EXPECT_EQ(name, nullptr);
        RES_conv_data("", &name, CV_device);
        EXPECT_EQ(FLAG_get(2), 1);
        EXPECT_EQ(RES_conv_data("p", nullptr, CV_device), 0);
        EXPECT_EQ(FLAG_get(2), 1);
    });
}

TEST(ResrcConv, FlagWordsByKeyword) {
    in_child([] {
        FLAG_reset(KEM_MISSING);
        EXPECT_EQ(RES_conv_data("reuse", nullptr, CV_file_param), 1);
        EXPECT_EQ(FLAG_get(15), 3);
        RES_conv_data("App", nullptr, CV_file_param);
        EXPECT_EQ(FLAG_get(15), 2);
        RES_conv_data("bogus", nullptr, CV_file_param);
        EXPECT_EQ(FLAG_get(15), 2);
        RES_conv_data("recalc", nullptr, CV_file_param);
        EXPECT_EQ(FLAG_get(15), 1);

        RES_conv_data("STREAM", nullptr, CV_plot_type);
        EXPECT_EQ(FLAG_get(11), 23);
        RES_conv_data("none", nullptr, CV_plot_type);
        EXPECT_EQ(FLAG_get(11), 99);
        RES_conv_data("raw", nullptr, CV_plot_type);
        EXPECT_EQ(FLAG_get(11), 0);
        RES_conv_data("pie", nullptr, CV_plot_type);
        EXPECT_EQ(FLAG_get(11), 0);
        EXPECT_EQ(RES_conv_data(nullptr, nullptr, CV_plot_type), 0);
    });
}

TEST(ResrcConv, HelpAndBatchNeedNothing) {
    in_child([] {
        FLAG_reset(KEM_MISSING);
        EXPECT_EQ(RES_conv_data(nullptr, nullptr, CV_help), 1);
        EXPECT_EQ(FLAG_help(), 1);
        EXPECT_EQ(RES_conv_data("no", nullptr, CV_batch), 1);
        EXPECT_EQ(FLAG_batch(), 1);
        EXPECT_EQ(MESS_get(), 0xFFu);
    });
}

TEST(ResrcConv, MessageValueSetsLevels) {
    in_child([] {
        EXPECT_EQ(RES_conv_data("mess,+debugd", nullptr, CV_mess), 1);
        EXPECT_EQ(MESS_get(), 0x80000FFFu);
        EXPECT_EQ(RES_conv_data(nullptr, nullptr, CV_mess), 0);
    });
}

TEST(ResrcConv, DrawComponents) {
    in_child([] {
        FLAG_resetplot(1);
        RES_conv_data("-text", nullptr, CV_draw);
        for (int i = 0; i <= 6; ++i)
            EXPECT_EQ(FLAG_getplot(i), 0) << i;
        for (int i = 7; i <= 10; ++i)
            EXPECT_EQ(FLAG_getplot(i), 1) << i;
        EXPECT_EQ(FLAG_getplot(11), 0);

        RES_conv_data("text,-text_ul", nullptr, CV_draw);
        EXPECT_EQ(FLAG_getplot(1), 0);
        for (int i = 2; i <= 6; ++i)
            EXPECT_EQ(FLAG_getplot(i), 1) << i;
        EXPECT_EQ(FLAG_getplot(0), 5);
        EXPECT_EQ(FLAG_getplot(11), 1);
        for (int i = 7; i <= 10; ++i)
            EXPECT_EQ(FLAG_getplot(i), 0) << i;

        RES_conv_data("map,DATA,+Grid,bogus", nullptr, CV_draw);
        EXPECT_EQ(FLAG_getplot(12), 3);
        RES_conv_data("+all", nullptr, CV_draw);
        EXPECT_EQ(FLAG_getplot(12), 6 + 6 + 5); /* derived switch 0, six texts, five others */
        EXPECT_EQ(FLAG_getplot(10), 1);
        RES_conv_data("-none", nullptr, CV_draw);
        EXPECT_EQ(FLAG_getplot(12), 0);
    });
}

TEST(ResrcConv, KindsWithoutTheirModuleStillAnswer) {
    /* date and plot-domain decoding: present value and destination give 1 */
    Domain domain{};
    EXPECT_EQ(RES_conv_data("061512", nullptr, CV_hour), 1);
    EXPECT_EQ(RES_conv_data(nullptr, nullptr, CV_hour), 0);
    EXPECT_EQ(RES_conv_data("us", nullptr, CV_region), 0);
    EXPECT_EQ(RES_conv_data("ps,40,-100", &domain, CV_domain), 1);
    EXPECT_EQ(domain.proj, 1);
    EXPECT_EQ(RES_conv_data("x", &domain, static_cast<DEF_convert>(99)), 0);
}
