/*
 * Tests of the help output: the exact lines of RES_help_print and
 * RES_help_item, captured from standard output.
 */
#include "support.h"

using namespace kemtest;

TEST(Help, StationProgramListsItsOptionsByteForByte) {
    std::string out = capture_stdout(
        [] { EXPECT_EQ(RES_help_print("kemcity", city_keyed, city_positional), 1); });
    EXPECT_EQ(out, city_help);
}

TEST(Help, EmptyListsStillPrintBothHeadings) {
    const res_type none[] = {RES_null};
    std::string out = capture_stdout([&] { RES_help_print("prog", none, none); });
    const std::string tail = "Keyed options...\n"
                             " -df file    Resource/defaults file name\n"
                             " -na name    Program name\n"
                             "Positional options...\n";
    ASSERT_GE(out.size(), tail.size());
    EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
    EXPECT_EQ(capture_stdout([] { RES_help_print("prog", nullptr, nullptr); }), out);
}

TEST(Help, LongSyntaxPushesTheTextRight) {
    EXPECT_EQ(capture_stdout([] { RES_help_item(RES_in_files); }),
              " -if type[,...]  Input data file type\n");
    EXPECT_EQ(capture_stdout([] { RES_help_item(RES_color_front); }),
              " -cofr hclr,lclr,cclr,wclr,oclr,tclr  Front colors\n");
    EXPECT_EQ(capture_stdout([] { RES_help_item(RES_table); }), " -ta         Prints a table\n");
    EXPECT_EQ(capture_stdout([] { RES_help_item(RES_window_num); }),
              " -wn num     VAROviz window number\n");
}

TEST(Help, DomainCodesPrintSyntaxAloneThenTheirLines) {
    EXPECT_EQ(capture_stdout([] { RES_help_item(RES_region); }),
              " -re region or [proj],clat,clon[,nx,ny][,dx,dy]\n"
              "             Region to be used for plotting and gridding\n"
              "               region=predefined region:\n"
              "                  us,ne,at,se,mw,sp,nw,sw,etc\n"
              "               proj=projection, clat=central latitude, clon=central longitude,\n"
              "               nx,ny=number of gridpoints and dx,dy=grid spacing\n"
              "               us,ne,at,se,mw,sp,nw,sw,var\n");
    EXPECT_EQ(capture_stdout([] { RES_help_item(RES_object_param); }),
              " -oa smooth[,radinf,pass,conv,min]\n"
              "             Objective analysis parameters\n");
    std::string grid = capture_stdout([] { RES_help_item(RES_grid_domain); });
    EXPECT_EQ(grid.substr(0, grid.find('\n', grid.find('\n') + 1) + 1),
              " -gd region or [proj],clat,clon[,nx,ny][,dx,dy]\n"
              "             Grid domain\n");
}

TEST(Help, CodeWithoutHelpPrintsItsNumber) {
    EXPECT_EQ(capture_stdout([] { EXPECT_EQ(RES_help_item(RES_age), 1); }), "1\n");
    EXPECT_EQ(capture_stdout([] { RES_help_item(RES_sat_path); }),
              " -sp path    Satellite file path\n");
    const res_type keyed[] = {RES_unit, RES_help, RES_null};
    std::string out = capture_stdout([&] { RES_help_print("p", keyed, nullptr); });
    const std::string unit = std::to_string(static_cast<int>(RES_unit));
    EXPECT_NE(out.find(" -na name    Program name\n" + unit + "\n -h          Print this help\n"),
              std::string::npos)
        << out;
}
