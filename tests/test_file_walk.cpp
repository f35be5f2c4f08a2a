/*
 * Tests of choosing, walking and listing data files (file_walk.cpp) over
 * real files in a scratch directory.  The naming and walking state is
 * process-wide: every scenario runs in a child.
 */
#include "support.h"

#include <string>

using namespace kemtest;

TEST(FileWalk, ChosenFileMustExist) {
    ScratchDir dir;
    dir.write("2024030712.dat", "x");
    const std::string tmpl = "@" + dir.dir() + "/%Y%m%d%h.dat";
    Captured named = in_child([&] {
        FILE_set_name(tmpl.c_str());
        char name[KEM_PATH_MAX];
        RES_put("filename", dir.path("2024030712.dat").c_str());
        EXPECT_EQ(FILE_get_file("File: ", name), 1);
        RES_put("filename", dir.path("2024030713.dat").c_str());
        EXPECT_EQ(FILE_get_file("File: ", name), 0);
    });
    EXPECT_EQ(named.out + named.err, "");
    Captured current = in_child([&] {
        RES_put("current", "#2024030712");
        FILE_set_name(tmpl.c_str());
        char name[KEM_PATH_MAX];
        EXPECT_EQ(FILE_get_file("File: ", name), 1);
    });
    EXPECT_EQ(current.err, "");
    Captured missing = run_in_child([&] {
        RES_put("current", "#2024030713");
        FILE_set_name(tmpl.c_str());
        char name[KEM_PATH_MAX];
        FILE_get_file("File: ", name);
    });
    EXPECT_EQ(missing.status, 10);
    EXPECT_EQ(missing.err, "File not found: " + dir.path("2024030713.dat") + "\n");
}

TEST(FileWalk, ChoosingAsksUntilAnExistingFileIsNamed) {
    ScratchDir dir;
    dir.write("2024030712.dat", "x");
    const std::string tmpl = "@" + dir.dir() + "/%Y%m%d%h.dat";
    Captured asked = in_child(
        [&] {
            FILE_set_name(tmpl.c_str());
            char name[KEM_PATH_MAX];
            EXPECT_EQ(FILE_get_file("File: ", name), 1);
            EXPECT_EQ(std::string(name), dir.path("2024030712.dat"));
        },
        dir.path("2024030713.dat") + "\n" + dir.path("2024030712.dat") + "\n");
    EXPECT_EQ(count_of(asked.out, "File: "), 2u);
    EXPECT_EQ(asked.err, "File not found: " + dir.path("2024030713.dat") + "\n");
    Captured gave_up = run_in_child(
        [&] {
            FILE_set_name(tmpl.c_str());
            char name[KEM_PATH_MAX];
            FILE_get_file("File: ", name);
        },
        "a\nb\nc\nd\ne\n");
    EXPECT_EQ(gave_up.status, 10);
    EXPECT_EQ(count_of(gave_up.err, "File not found"), 4u);
    Captured once = in_child(
        [&] {
            FILE_set_name(tmpl.c_str());
            char name[KEM_PATH_MAX];
            EXPECT_EQ(FILE_get_file_only("File: ", name), 0);
        },
        "a\n");
    EXPECT_EQ(count_of(once.err, "File not found"), 1u);
}

TEST(FileWalk, WalkGivesTheNamesOfARangeOfTimes) {
    ScratchDir dir;
    for (const char *name : {"0700.grd", "0706.grd", "0712.grd"})
        dir.write(name, "x");
    in_child([&] {
        RES_put("num_hour", "12,6:00");
        RES_put("grid_path", dir.dir().c_str());
        FILE_set_name("@%G/%d%h.grd");
        Date first{2024, 3, 7, KEM_MISSING, KEM_MISSING, 0, 0, 0};
        FILE_first(&first);
        int found = 0;
        char name[KEM_PATH_MAX];
        while (FILE_get_next(name))
            found += FILE_exist(name);
        EXPECT_EQ(found, 3);
        EXPECT_EQ(FILE_get_nsecs(), 18 * 3600);
        FILE_next_file(name);
        EXPECT_EQ(std::string(name), dir.path("0706.grd"));
        FILE_prev_file(name);
        EXPECT_EQ(std::string(name), dir.path("0618.grd"));
        RES_put("num_hour", "-12");
        FILE_first(&first); /* backwards: from twelve hours before */
        FILE_get_next(name);
        EXPECT_EQ(std::string(name), dir.path("0612.grd"));
    });
}

TEST(FileWalk, WalkGivesTheNamesOfAList) {
    in_child([] {
        RES_put("filename", "a,b,c");
        FILE_set_name("@%h");
        FILE_first(nullptr);
        std::string names;
        char name[KEM_PATH_MAX];
        while (FILE_get_next(name))
            names += std::string(name) + " ";
        EXPECT_EQ(names, "a b c ");
        EXPECT_EQ(FILE_get_num_file(), 2);
    });
}

TEST(FileWalk, ListingMatchesTheTemplateAndRunsNothing) {
    ScratchDir dir;
    for (const char *name : {"2024030700.dat", "2024030706.dat", "2024030712.dat", "notes.txt"})
        dir.write(name, "x");
    Captured run = in_child([&] {
        RES_put("data_path", (dir.dir() + "/x;touch " + dir.path("ran")).c_str());
        FILE_set_name(("@" + dir.dir() + "/%Y%m%d%h.dat").c_str());
        FILE_list_file();
        FILE_set_name("@%D/%h");
        FILE_list_file();
    });
    EXPECT_FALSE(std::filesystem::exists(dir.path("ran")));
    /* across in columns, as "ls -x" prints them on 80 columns */
    EXPECT_EQ(run.out, dir.path("2024030700.dat") + "  " + dir.path("2024030706.dat") + "\n" +
                           dir.path("2024030712.dat") + "\n");
}
