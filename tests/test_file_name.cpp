/*
 * Tests of data file naming (file_name.cpp, file_match.cpp and
 * file_current.cpp, which share one naming record): key texts, names
 * built from templates and dates, step codes, typed names read back, the
 * hour resource and the current and latest file.  The naming state is
 * process-wide: every scenario runs in a child.
 */
#include "support.h"

#include <string>

using namespace kemtest;

namespace {

Date date_of(int year, int month, int day, int hour, int min) {
    return Date{year, month, day, KEM_MISSING, KEM_MISSING, hour, min, 0};
}

const Date kMarch7 = date_of(2024, 3, 7, 13, 45);

std::string key_text(int key) {
    char text[30] = "unchanged";
    FILE_get_key(key, text);
    return text;
}

/* The name the selected template gives for `date`. */
std::string build(const Date &date) {
    char name[KEM_PATH_MAX] = "";
    FILE_set_date(&date, name);
    return name;
}

std::string name_for(const std::string &tmpl, const Date &date) {
    FILE_set_name(("@" + tmpl).c_str());
    return build(date);
}

std::string typed(const char *file) {
    char name[KEM_PATH_MAX] = "";
    FILE_set_file(file, name);
    return name;
}

std::string current(const char *cur) {
    char name[KEM_PATH_MAX] = "";
    FILE_set_current(cur, name);
    return name;
}

void set_hour_code(int hour) {
    Date fixed = date_of(KEM_MISSING, KEM_MISSING, KEM_MISSING, hour, KEM_MISSING);
    FILE_set_time(&fixed);
}

} // namespace

TEST(FileName, KeyTextsAreBoundedAndBlanksBecomeUnderscores) {
    in_child([] {
        FILE_set_key('a', "north east");
        EXPECT_EQ(key_text('a'), "north_east");
        FILE_set_key('b', std::string(40, 'x').c_str());
        EXPECT_EQ(key_text('b'), std::string(29, 'x'));
        FILE_set_key(static_cast<char>(0xE9), "high"); /* a byte above 127 */
        EXPECT_EQ(key_text(0xE9), "high");
        FILE_set_key('a', nullptr);
        EXPECT_EQ(key_text('a'), "");
    });
}

TEST(FileName, TemplatesExpandDatesWithTheirPeriod) {
    struct Case {
        const char *tmpl;
        const char *name;
        int period;
    } cases[] = {
        {"%Y%m%d%h_model", "2024030713_model", 3600},
        {"%Y%m%d%3h_model", "2024030712_model", 10800},
        {"%2d", "06", 172800},
        {"%Y%m", "202403", KEM_MISSING},
        {"%y%b%j", "24mar067", 86400},
        {"%h%n", "1345", 60},
        {"%15n", "45", 900},
        {"%0h", "13", 3600}, /* N = 0 counts as 1, never divides by 0 */
        {"a b{%h}", "a_b13", 3600},
        {"%%%h", "%13", 3600},
        {"%h%", "13%", 3600},   /* a trailing '%' is copied and ends the text */
        {"%h%3", "13%3", 3600}, /* with its number */
        {"%D/%h", "./13", 3600},
        {"%q", "0", KEM_MISSING}, /* an empty key text */
    };
    for (const Case &c : cases)
        in_child([&] {
            EXPECT_EQ(name_for(c.tmpl, kMarch7), c.name) << c.tmpl;
            EXPECT_EQ(FILE_get_late_off(), c.period) << c.tmpl;
        });
}

TEST(FileName, UnsetFieldsGiveZerosAndKeysTheirText) {
    in_child([] {
        FILE_set_key('a', "lost");
        FILE_set_name("none"); /* the first selection clears the key texts */
        EXPECT_EQ(key_text('a'), "");
        FILE_set_key('a', "north east");
        Date year_only = date_of(2024, KEM_MISSING, KEM_MISSING, KEM_MISSING, KEM_MISSING);
        EXPECT_EQ(name_for("%Y%m%d%h%b_%a_%2a", year_only), "2024000000xxx_north_east_no");
        RES_put("data_path", "/data");
        RES_put("region", "ne");
        EXPECT_EQ(name_for("%D/%{region}/%{nothing}x%h", kMarch7), "/data/ne/x13");
        FILE_set_key('z', std::string(29, 'z').c_str());
        EXPECT_EQ(name_for("%z%z%z%z%z%z%h", kMarch7), std::string(159, 'z')); /* cut */
    });
}

TEST(FileName, StepCodesRoundTheHourAndSetThePeriod) {
    in_child([] {
        set_hour_code(-306); /* offset 3, step 6 */
        EXPECT_EQ(name_for("%h", kMarch7), "15");
        EXPECT_EQ(FILE_get_late_off(), 21600);
        set_hour_code(-100); /* step 0: ignored */
        EXPECT_EQ(name_for("%h", kMarch7), "13");
        EXPECT_EQ(FILE_get_late_off(), 3600);
        set_hour_code(6); /* a fixed hour */
        EXPECT_EQ(name_for("%Y%m%d%h", kMarch7), "2024030706");
    });
}

TEST(FileName, StepZeroIsWarnedAbout) {
    Captured run = in_child([] {
        set_hour_code(-100);
        name_for("%h", kMarch7);
    });
    EXPECT_EQ(run.err, "Ignoring step code -100: its step is 0\n"); /* once */
    Captured read = in_child([] {
        set_hour_code(-100);
        FILE_set_name("@%h");
        EXPECT_EQ(typed("15"), "15");
        EXPECT_EQ(FILE_get_late_off(), 3600);
    });
    EXPECT_EQ(read.err, "Ignoring step code -100: its step is 0\n"); /* once for a typed name too */
}

TEST(FileName, StepCodesOfEachField) {
    struct Case {
        int day, hour, min; /* the fixed fields */
        const char *tmpl, *name;
        int period;
        const char *err;
    } cases[] = {
        {-3, KEM_MISSING, KEM_MISSING, "%d", "06", 3 * 86400, ""},
        {-100, KEM_MISSING, KEM_MISSING, "%d", "00", 100 * 86400, ""}, /* a day code is its step */
        {KEM_MISSING, KEM_MISSING, -1510, "%n", "55", 600, ""},        /* offset 15, step 10 */
        {KEM_MISSING, KEM_MISSING, -100, "%n", "45", 60,
         "Ignoring step code -100: its step is 0\n"},
        {KEM_MISSING, -100006, KEM_MISSING, "%h", "13", 3600, ""}, /* too large to be a code */
    };
    for (const Case &c : cases) {
        Captured run = in_child([&] {
            Date fixed = date_of(KEM_MISSING, KEM_MISSING, c.day, c.hour, c.min);
            FILE_set_time(&fixed);
            EXPECT_EQ(name_for(c.tmpl, kMarch7), c.name) << c.tmpl << " " << c.name;
            EXPECT_EQ(FILE_get_late_off(), c.period) << c.tmpl << " " << c.name;
        });
        EXPECT_EQ(run.err, c.err) << c.tmpl << " " << c.name;
    }
}

TEST(FileName, ConventionFileGivesTemplatesAndPartialMatches) {
    ScratchDir dir;
    dir.write("conv", "# type template header size\n"
                      "\n"
                      "eta %Y%m%d%h_eta%e - 100\n"
                      "ruc %h.ruc hdr%h 0\n" +
                          std::string(300, 'x') + " long\n");
    in_child([&] {
        RES_put("file_path", dir.dir().c_str());
        RES_put("name_conv", "conv");
        EXPECT_EQ(FILE_set_name("eta_212"), 1);
        EXPECT_EQ(build(kMarch7), "2024030713_eta212");
        EXPECT_EQ(FILE_get_min_size(), 100);
        EXPECT_EQ(FILE_set_name("RUC"), 1);
        char header[KEM_PATH_MAX] = "";
        EXPECT_EQ(FILE_hdr_set_date(&kMarch7, header), 1);
        EXPECT_EQ(std::string(header), "hdr13");
        EXPECT_EQ(FILE_set_name("gfs:r=12 km:s=x"), 0); /* no line: the type is the template */
        EXPECT_EQ(key_text('r'), "12_km");
        EXPECT_EQ(key_text('s'), "x");
        EXPECT_EQ(build(kMarch7), "gfs");
        EXPECT_EQ(FILE_set_name("none"), 0);
    });
}

TEST(FileName, MissingConventionFileIsWarnedAndTheTypeIsTheTemplate) {
    ScratchDir dir;
    Captured run = in_child([&] {
        RES_put("file_path", dir.dir().c_str());
        EXPECT_EQ(FILE_set_name("%h_x"), 0);
        EXPECT_EQ(build(kMarch7), "13_x");
    });
    EXPECT_EQ(run.err,
              "FILE_set_name: No file name convention file: " + dir.path("name_conv") + "\n");
}

TEST(FileName, TypedNamesAreReadBackIntoDates) {
    in_child([] {
        FILE_set_name("@%Y%m%d%h_model");
        EXPECT_EQ(typed("2024030712_model"), "2024030712_model");
        Date got;
        FILE_get_date(&got);
        EXPECT_EQ(got.year, 2024);
        EXPECT_EQ(got.month, 3);
        EXPECT_EQ(got.day, 7);
        EXPECT_EQ(got.hour, 12);
        EXPECT_EQ(FILE_get_late_off(), 3600);
        EXPECT_EQ(typed("20x"), "20x"); /* too short for its year: copied */
        EXPECT_EQ(typed("@literal%h"), "literal%h");
        EXPECT_EQ(typed("std"), "-");
        FILE_set_name("@%y%b%d");
        typed("24mar07");
        FILE_get_date(&got);
        EXPECT_EQ(got.year, 2024);
        EXPECT_EQ(got.month, 3);
        set_hour_code(-306);
        FILE_set_name("@%h");
        typed("15");
        EXPECT_EQ(FILE_get_late_off(), 21600); /* the step, as names are built */
        FILE_set_name("@%h%%x"); /* "%%" stands for one '%' and is stepped over once */
        EXPECT_EQ(typed("09%x"), "09%x");
        FILE_get_date(&got);
        EXPECT_EQ(got.hour, 9);
    });
}

TEST(FileName, TypedNamesKeepTheirDirectoryAndExtension) {
    in_child([] {
        RES_put("data_path", "/d");
        FILE_set_name("@%D/%Y%m%d%h_%e.dat");
        EXPECT_EQ(typed("/data/x/2024030712_big.dat"), "/data/x/2024030712_big.dat");
        Date got;
        FILE_get_date(&got);
        EXPECT_EQ(got.hour, 12);
        /* a neighbour of a typed complete name is in its directory */
        EXPECT_EQ(build(date_of(2024, 3, 7, 18, 0)), "/data/x/2024030718_big.dat");
        FILE_set_name("@%D/%Y%m%d%h_%e.dat");
        EXPECT_EQ(typed("2024030712_big.dat"), "/d/2024030712_big.dat");
        FILE_set_type(1);
        EXPECT_EQ(typed("/d/2024030712_big.dat+extra"), "/d/2024030712_big.dat");
        EXPECT_STREQ(FILE_get_ext_info(), "+extra");
        char shortname[] = "ab";
        EXPECT_EQ(FILE_extract_extra_info(shortname), 0);
    });
}

TEST(FileName, DateAfterATypedNameFixesItsFields) {
    struct Case {
        const char *file;
        int year, month, day, hour;
    } cases[] = {
        {"@plain#2024030815", 2024, 3, 8, 15},
        {"@plain#2024031", 2024, 3, KEM_MISSING, KEM_MISSING}, /* a field cut short is not read */
        {"@plain#24x", KEM_MISSING, KEM_MISSING, KEM_MISSING, KEM_MISSING},
    };
    for (const Case &c : cases)
        in_child([&] {
            EXPECT_EQ(typed(c.file), "plain");
            Date got;
            FILE_get_date(&got);
            EXPECT_EQ(got.year, c.year) << c.file;
            EXPECT_EQ(got.month, c.month) << c.file;
            EXPECT_EQ(got.day, c.day) << c.file;
            EXPECT_EQ(got.hour, c.hour) << c.file;
            FILE_get_time(&got); /* the fixed fields for the names that follow */
            EXPECT_EQ(got.month, c.month) << c.file;
        });
}

TEST(FileName, TypedCurrentNamesCountFromTheReferenceTime) {
    in_child([] {
        setenv("kemcurtime", "#2024030713", 1);
        FILE_set_name("@%Y%m%d%h_model");
        EXPECT_EQ(typed("#2024030712"), "2024030712_model");
        EXPECT_EQ(typed("cu-6"), "2024030707_model");
        EXPECT_EQ(typed("cu+1d2"), "2024030815_model");
        EXPECT_EQ(current("-1:30"), "2024030711_model");
        EXPECT_EQ(current("#202403"), "2024030100_model"); /* missing day is the first */
    });
}

TEST(FileName, LatestFileSearchStepsBackUntilAFileIsPresent) {
    ScratchDir dir;
    dir.write("2024030709.dat", "data");
    dir.write("2024030711.dat", "");
    in_child([&] {
        setenv("kemcurtime", "#2024030713", 1);
        FILE_set_name(("@" + dir.dir() + "/%Y%m%d%h.dat").c_str());
        EXPECT_EQ(current("la"), dir.path("2024030709.dat"));   /* the empty one is skipped */
        EXPECT_EQ(current("la#3"), dir.path("2024030711.dat")); /* three tries, none found */
        EXPECT_EQ(current(nullptr), dir.path("2024030709.dat"));
        EXPECT_EQ(current("la-1"), dir.path("2024030708.dat"));  /* then an hour back */
        EXPECT_EQ(current("+1la"), dir.path("2024030709.dat"));  /* still searching back */
        EXPECT_EQ(current("-5+la"), dir.path("2024030709.dat")); /* forward from 08 */
    });
}

TEST(FileName, LatestFileSearchGivesUpAfterItsLimit) {
    ScratchDir dir;
    in_child([&] {
        setenv("kemcurtime", "#2024030713", 1);
        FILE_set_name(("@" + dir.dir() + "/%Y%m%d%h.dat").c_str());
        /* 500 tries from 13:00, each an hour earlier: the last is 499 hours back */
        EXPECT_EQ(current("la"), dir.path("2024021518.dat"));
        FILE_set_name(("@" + dir.dir() + "/%Y.dat").c_str()); /* no period */
        EXPECT_EQ(current("la"), dir.path("2024.dat"));
    });
}

TEST(FileName, HourResourceSetsTheDateOfNames) {
    struct Case {
        const char *value;
        int month, day, hour, min;
        const char *name; /* from 2024-03-07 13:45 with %Y%m%d%h%n */
    } cases[] = {
        {"061512", 6, 15, 12, KEM_MISSING, "202406151245"},
        {"1512", KEM_MISSING, 15, 12, KEM_MISSING, "202403151245"},
        {"512", KEM_MISSING, 5, 12, KEM_MISSING, "202403051245"},
        {"1d12:30", KEM_MISSING, 1, 12, 30, "202403011230"},
        {":15", KEM_MISSING, KEM_MISSING, KEM_MISSING, 15, "202403071315"},
        {"-0:30", KEM_MISSING, KEM_MISSING, KEM_MISSING, -30, "202403071330"},
        {"-:20", KEM_MISSING, KEM_MISSING, KEM_MISSING, -20, "202403071340"},
        {"-0", KEM_MISSING, KEM_MISSING, KEM_MISSING, KEM_MISSING, "202403071345"},
        {"-:", KEM_MISSING, KEM_MISSING, KEM_MISSING, KEM_MISSING, "202403071345"},
        {"-306", KEM_MISSING, KEM_MISSING, -306, KEM_MISSING, "202403071545"},
    };
    for (const Case &c : cases)
        in_child([&] {
            EXPECT_EQ(RES_conv_data(c.value, nullptr, CV_hour), 1);
            Date set;
            FILE_get_time(&set);
            EXPECT_EQ(set.year, KEM_MISSING) << c.value;
            EXPECT_EQ(set.month, c.month) << c.value;
            EXPECT_EQ(set.day, c.day) << c.value;
            EXPECT_EQ(set.hour, c.hour) << c.value;
            EXPECT_EQ(set.min, c.min) << c.value;
            EXPECT_EQ(name_for("%Y%m%d%h%n", kMarch7), c.name) << c.value;
        });
    in_child([] {
        RES_conv_data("#2024031518", nullptr, CV_hour);
        EXPECT_EQ(name_for("%Y%m%d%h", date_of(2023, 1, 1, 0, 0)), "2024031518");
        RES_conv_data("#2024031", nullptr, CV_hour); /* a field cut short by the end is read */
        EXPECT_EQ(name_for("%Y%m%d%h", date_of(2023, 1, 1, 0, 0)), "2024030100");
    });
}

TEST(FileName, HourResourceComesFromEachSourceAtStartUp) {
    ScratchDir scratch;
    scratch.write("kem.cfg", "*hour: 512\n");
    const res_type keyed[] = {RES_hour, RES_null}, positional[] = {RES_null};
    struct Case {
        std::vector<std::string> words;
        const char *env;
        const char *name;
    } cases[] = {{{}, nullptr, "0512"}, {{}, "1612", "1612"}, {{"-ho", "1712"}, "1612", "1712"}};
    for (const Case &c : cases)
        in_child([&] {
            clean_environment(scratch.dir());
            if (c.env)
                setenv("kemhour", c.env, 1);
            std::vector<std::string> words{"/usr/local/bin/prog"};
            words.insert(words.end(), c.words.begin(), c.words.end());
            int argc = 0;
            char **argv = make_argv(words, &argc);
            RES_init(argc, argv, keyed, positional);
            EXPECT_EQ(name_for("%d%h", kMarch7), c.name);
        });
}

TEST(FileName, OddTemplatesAndNamesStayWithinTheirTexts) {
    ScratchDir dir;
    in_child([&] {
        setenv("kemcurtime", "#2024030713", 1);
        const char *templates[] = {"%",       "%3",        "%{",
                                   "%{x",     "{%",        "}",
                                   "%e",      "%*",        "%99999999999h",
                                   "%Y%b%j*", "/%D/%e.%h", "%{data_path}%F:%C",
                                   "%%",      "x%%%h%%"}; /* found by fuzzing */
        const char *names[] = {
            "",   "#",  "@",  "cu",    "la#0", "#99999999999999",  "x%", "\xff", "/a",
            "/:", "24", "ja", "la#3+", "cu1d", "cu-99999999999:99"};
        for (const char *tmpl : templates) {
            FILE_set_name((std::string("@") + dir.dir() + "/" + tmpl).c_str());
            for (const char *name : names) {
                char out[KEM_PATH_MAX];
                FILE_set_file(name, out);
                EXPECT_LT(std::strlen(out), size_t{KEM_PATH_MAX}) << tmpl << " " << name;
            }
            FILE_list_file();
        }
        for (const char *text : {"", "%", "%3", "%F%", "%x%y%m%d%h%n%M%f"}) {
            char label[80];
            Date odd = date_of(-5, 0, 99, -9, 77);
            DATE_format_label(label, text, 6012, nullptr, &odd);
        }
    });
}

/* Every look-up in the convention file, found or not, gives the file back. */
TEST(FileName, ConventionFileIsClosedAfterEveryLookup) {
    ScratchDir dir;
    dir.write("name_conv", "eta %Y%m%d%h_eta%e - 100\n");
    in_child([&] {
        RES_put("file_path", dir.dir().c_str());
        const int before = open_descriptors();
        for (int round = 0; round < 3; ++round) {
            EXPECT_EQ(FILE_set_name("eta"), 1);
            EXPECT_EQ(FILE_set_name("none"), 0);
        }
        EXPECT_EQ(open_descriptors(), before);
    });
}
