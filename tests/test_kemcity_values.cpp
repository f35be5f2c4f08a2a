/*
 * End-to-end tests of kemcity's values as a user gives them: values read
 * from files, the warning each value that cannot be read gets, places
 * near a point in the raw tables, and the data an installed program finds
 * by itself.
 */
#include "kemcity_run.h"

#include <filesystem>

namespace {

class Values : public KemcityTest {};

} // namespace

TEST_F(Values, ValuesFromAFileOrStandardInput) {
    copy_fixture("sao.cty");
    write("ids.txt", "# airports\nKMDW\n\n  EGLL  \n/KORD\r\n");
    /* Records in file order, whatever order the values come in. */
    expect_output(run({"-in", "dbase", "-ou", "ID", "@ids.txt"}), "KORD \nKMDW \nEGLL \n");
    expect_output(run({"-in", "dbase", "-ou", "ID", "KIND", "@-"}, {}, "KJFK\n"),
                  "KIND \nKJFK \n");
    copy_fixture("cities.raw");
    expect_output(run({"-ou", "ID", "@ids.txt"}), "KMDW \n"); /* a table takes the first */
    RunResult result = run({"-in", "dbase", "KORD", "@nosuch.txt"});
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Values file not found: nosuch.txt\n");
    EXPECT_EQ(result.status, 10);
}

TEST_F(Values, EveryValueThatCannotBeReadIsWarnedAboutOnce) {
    copy_fixture("sao.cty");
    expect_warned(run({"-in", "dbase", "-ou", "ID", "RA<41.98:-87.9", "P<", "Foo=3", "KORD",
                       "Lat>4x:ST=IL:P<0"}),
                  "KORD \n",
                  "Selection value RA<41.98:-87.9: RA< needs a latitude, a longitude and a "
                  "radius in km (RA<lat:lon:km)\n"
                  "Selection value P<: P< needs a number\n"
                  "Selection value Foo=3: Foo= is not a selection key\n"
                  "Selection value Lat>4x:ST=IL:P<0: only 4 of 4x is read as a number\n");
    /* Levels without warnings silence them. */
    expect_output(run({"-in", "dbase", "-me", "print", "-ou", "ID", "Foo=3", "KORD"}), "KORD \n");
}

TEST_F(Values, PlacesNearAPointInTheRawTables) {
    copy_fixture("zones.raw");
    const std::vector<std::string> near = {"-in", "zones.raw", "-ou", "ID,Dist"};
    auto with = [&](std::vector<std::string> more) {
        std::vector<std::string> args = near;
        args.insert(args.end(), more.begin(), more.end());
        return run(args);
    };
    expect_output(with({"RA<41.98:-87.9:60"}), "ILZ014 16.9 \nILZ103 10.0 \n");
    expect_output(with({"-pa", "nearest", "RA<41.98:-87.9:60"}), "ILZ103 10.0 \nILZ014 16.9 \n");
    expect_output(with({"-pa", "nearest,first", "RA<41.98:-87.9:300"}), "ILZ103 10.0 \n");
    /* Without a centre, Dist is missing; nearest says it needs one. */
    expect_warned(with({"-pa", "nearest", "ST=IL"}), "ILZ014 -9999 \nILZ103 -9999 \n",
                  "Parameter nearest needs an RA< value: records in file order\n");
    copy_fixture("cities.raw");
    write("plain.raw", "a\nb\nc\nID Name ST\nX1 Somewhere IL\n");
    expect_warned(run({"-in", "plain.raw", "RA<41:-87:10"}), "",
                  "Selection value RA<41:-87:10: the table has no Lat and Lon columns\n");
}

/* Copied into a tree laid out as an installation, the program finds the
   data beside it from any directory, unless the user's file_path or a
   file in the working directory says otherwise. */
TEST_F(Values, AnInstalledProgramFindsItsOwnData) {
    namespace fs = std::filesystem;
    fs::path prefix = fs::path(dir()) / "prefix";
    fs::path bin = prefix / "bin", data = (bin / KEM_DATA_FROM_BIN).lexically_normal();
    fs::create_directories(bin);
    fs::create_directories(data);
    fs::copy_file(KEMCITY_BIN, bin / "kemcity");
    write("prefix/" + data.lexically_relative(prefix).string() + "/sao.cty", fixture("sao.cty"));
    write("elsewhere/.keep", "");
    std::string program = (bin / "kemcity").string();
    auto run_from = [&](const std::string &where, std::vector<std::string> args) {
        return kemtest::run_in_child([&] {
            if (chdir((dir() + "/" + where).c_str()) != 0)
                _exit(126);
            std::vector<char *> argv{program.data()};
            for (std::string &a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            std::string path = "kemdefault=" + dir() + "/elsewhere";
            char *envp[] = {path.data(), nullptr};
            execve(program.c_str(), argv.data(), envp);
            _exit(127);
        });
    };
    expect_output(run_from("elsewhere", {"-in", "dbase", "-ou", "ID,WMO", "KORD"}),
                  "KORD 72530 \n");
    RunResult result = run_from("elsewhere", {"-fp", "/nonexistent", "-in", "dbase", "KORD"});
    EXPECT_EQ(result.status, 10);
    EXPECT_NE(result.err.find("DBase File not found: /nonexistent/sao.cty\n"), std::string::npos);
    write("elsewhere/sao.cty", "Local                 IL US KORD  0 1.00 2.00 0 11111 1\n");
    expect_output(run_from("elsewhere", {"-in", "dbase", "-ou", "ID,WMO", "KORD"}),
                  "KORD 11111 \n");
}
