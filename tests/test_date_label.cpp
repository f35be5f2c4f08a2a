/*
 * Tests of date labels: forecast lengths, observation and forecast labels
 * in the display zone, formats, sequence stamps, labels read back, month
 * names and the decoding window.  The display zone and the window are
 * process-wide: scenarios that change them run in a child.
 */
#include "support.h"

#include <string>

using namespace kemtest;

namespace {

Date date_of(int year, int month, int day, int hour, int min) {
    return Date{year, month, day, KEM_MISSING, KEM_MISSING, hour, min, 0};
}

std::string fhour(int length, int flag) {
    char text[80];
    return DATE_fhour_label(text, length, flag);
}

std::string label(Date date) {
    char text[80];
    DATE_make_label(&date, text);
    return text;
}

std::string forecast(int code, const char *model, const Date &date) {
    char text[80];
    DATE_make_label_for_time_mod(code, model, &date, text);
    return text;
}

} // namespace

TEST(DateLabel, ForecastLengthTexts) {
    struct Case {
        int length, flag;
        const char *text;
    } cases[] = {
        {12, 1, "0.5 day"}, {12, 0, "12 hour"},   {36, 1, "1.5 day"}, {72, 0, "3 day"},
        {84, 0, "3.5 day"}, {903, 0, "3 month"},  {807, 0, "7 day"},  {-6, 0, "-6 hour"},
        {0, 0, ""},         {KEM_MISSING, 1, ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(fhour(c.length, c.flag), c.text) << c.length;
}

TEST(DateLabel, ObservationLabelsLeaveOutWhatIsNotSet) {
    struct Case {
        Date date;
        const char *text;
    } cases[] = {
        {date_of(2024, 3, 7, 12, KEM_MISSING), "12Z  7 MAR 24"},
        {date_of(2024, 3, 7, 12, 30), "1230Z  7 MAR 24"},
        {date_of(2024, 3, 7, KEM_MISSING, KEM_MISSING), " 7 MAR 24"},
        {date_of(2024, 3, KEM_MISSING, KEM_MISSING, KEM_MISSING), "MAR 24"},
        {date_of(2024, KEM_MISSING, KEM_MISSING, KEM_MISSING, KEM_MISSING), "24"},
        {date_of(2024, 13, 40, 25, 61), "0000Z  1 JAN 24"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(label(c.date), c.text);
}

TEST(DateLabel, DisplayZoneShiftsAndNamesTheTime) {
    in_child([] {
        DATE_set_TZ("-CST:-6");
        EXPECT_EQ(label(date_of(2024, 3, 7, 3, 0)), "9:00 PM CST [0300Z]  6 MAR 24");
        DATE_set_TZ("+EST:-5");
        EXPECT_EQ(label(date_of(2024, 3, 7, 17, 0)), "12:00 PM EST  7 MAR 24");
    });
}

TEST(DateLabel, ForecastLabels) {
    Date base = date_of(2024, 3, 7, 12, KEM_MISSING);
    EXPECT_EQ(forecast(6012, "GFS", base), "12 hour GFS valid 0Z FRI  8 MAR 24");
    EXPECT_EQ(forecast(0, "GFS", base), "GFS analysis for 12Z  7 MAR 24");
    EXPECT_EQ(forecast(0, nullptr, base), "Analysis for 12Z  7 MAR 24");
    EXPECT_EQ(forecast(6006000, nullptr, base), "6 hour Analysis valid 12Z  7 MAR 24");
    Date day = date_of(2024, 3, 7, KEM_MISSING, KEM_MISSING);
    EXPECT_EQ(forecast(24, nullptr, day), "1 day  valid FRI  8 MAR 24");
    char text[80];
    DATE_make_label_valid_time(6012, &base, text);
    EXPECT_EQ(std::string(text), "0Z FRI  8 MAR 24");
    time_t secs = 1709812800; /* 2024-03-07 12:00 */
    EXPECT_EQ(DATE_make_label_for(12, 1, secs, text), 0);
    EXPECT_EQ(std::string(text), "12 hour GFS valid 00Z FRI  8 MAR 24");
    EXPECT_EQ(DATE_make_label_for(0, 99, 0, text), -1);
    EXPECT_EQ(std::string(text), " analysis");
}

TEST(DateLabel, FormatsAndSequenceStamps) {
    char text[80];
    Date date = date_of(2024, 3, 7, 12, KEM_MISSING);
    EXPECT_EQ(DATE_format_label(text, "%y%m%d%h%n %M %F %f %x %q 100%", 12, "GFS", &date), 0);
    EXPECT_EQ(std::string(text), "24030712 MAR 12 hour 12 GFS q 100%");
    EXPECT_EQ(DATE_format_label(nullptr, "%y", 0, nullptr, &date), -1);
    Date odd = date_of(2024, 13, 7, 12, 30);
    EXPECT_EQ(DATE_make_seq(&odd, text), 0);
    EXPECT_EQ(std::string(text), "202401071230");
    EXPECT_EQ(odd.month, 1);
    Date back;
    DATE_decode_seq("202403071230", &back);
    EXPECT_EQ(back.year * 100 + back.month, 202403);
    EXPECT_EQ(back.min, 30);
}

TEST(DateLabel, LabelsAreReadBack) {
    for (Date date : {date_of(2024, 3, 7, 12, KEM_MISSING), date_of(1999, 12, 31, 9, 5),
                      date_of(2024, 1, 1, 0, 0)}) {
        Date back;
        DATE_decode_label(label(date).c_str(), &back);
        EXPECT_EQ(back.year, date.year) << label(date);
        EXPECT_EQ(back.month, date.month) << label(date);
        EXPECT_EQ(back.day, date.day) << label(date);
        EXPECT_EQ(back.hour, date.hour) << label(date);
        EXPECT_EQ(back.min, date.min) << label(date);
    }
    Date back;
    DATE_decode_label("12:30:15Z  7 MAR 24", &back);
    EXPECT_EQ(back.sec, 15);
    for (const char *text : {"24", "MAR 24", " 7 MAR 24", ""}) {
        DATE_decode_label(text, &back); /* shorter than every form: nothing read */
        EXPECT_EQ(back.hour, KEM_MISSING) << text;
    }
}

TEST(DateLabel, MonthNames) {
    struct Case {
        const char *name;
        int month;
    } cases[] = {
        {"JAN", 1}, {"jan", 1}, {"Feb", 2}, {"MAR", 3},  {"apr", 4}, {"MAY", 5},  {"jun", 6},
        {"JUL", 7}, {"AUG", 8}, {"s", 9},   {"oct", 10}, {"N", 11},  {"dec", 12}, {"jAN", 0},
        {"Ja", 0},  {"JU", 0},  {"M", 0},   {"", 0},     {"xyz", 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(DATE_decode_month(c.name), c.month) << c.name;
}

TEST(DateLabel, DecodingWindowAroundNoon) {
    in_child([] {
        Date noon = date_of(2024, 3, 7, 12, 0);
        DATE_set_datim(&noon);
        EXPECT_EQ(DATE_chk_range(1150), 1);
        EXPECT_EQ(DATE_chk_range(1145), 1);
        EXPECT_EQ(DATE_chk_range(1144), 0);
        EXPECT_EQ(DATE_chk_range(1210), 1);
        EXPECT_EQ(DATE_chk_range(1211), 0);
        EXPECT_EQ(DATE_chk_range(KEM_MISSING), 0);
    });
}

TEST(DateLabel, DecodingWindowAroundMidnight) {
    in_child([] {
        Date after = date_of(2024, 3, 7, 0, 5);
        DATE_set_datim(&after);
        EXPECT_EQ(DATE_chk_range(2355), 1); /* ten minutes before */
        EXPECT_EQ(DATE_chk_range(2349), 0);
        EXPECT_EQ(DATE_chk_range(15), 1);
    });
}

TEST(DateLabel, DecodeHourResourceSetsTheWindow) {
    Captured run = in_child([] {
        RES_put("decode_hour", "06:30-5+20");
        Date date = date_of(2024, 3, 7, 12, 0);
        DATE_set_datim(&date);
        EXPECT_EQ(DATE_chk_range(626), 1);
        EXPECT_EQ(DATE_chk_range(624), 0);
        EXPECT_EQ(DATE_chk_range(650), 1);
        RES_put("decode_hour", "-100"); /* step 0: ignored */
        DATE_set_datim(&date);
        EXPECT_EQ(DATE_chk_range(1200), 1);
    });
    EXPECT_EQ(run.out, "Decoding for: 06:30Z\nDecoding range: -5 +20 mins\n"
                       "Decoding for: 12:00Z\n");
    EXPECT_EQ(run.err, "Ignoring step code -100: its step is 0\n");
}

TEST(DateLabel, DecodeHourStepCodes) {
    Captured run = in_child([] {
        RES_put("decode_hour", "-306:-100"); /* every sixth hour from 3; a minute step of 0 */
        Date date = date_of(2024, 3, 7, 12, 0);
        DATE_set_datim(&date);
        EXPECT_EQ(DATE_chk_range(1500), 1);
        EXPECT_EQ(DATE_chk_range(1444), 0);
    });
    EXPECT_EQ(run.out, "Decoding for: 15:00Z\n");
    EXPECT_EQ(run.err, "Ignoring step code -100: its step is 0\n");
}
