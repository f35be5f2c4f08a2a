// Tests of the line readers and string utilities.
#include "kem.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A read-only stream over the given bytes (embedded NULs allowed).
struct Stream {
    explicit Stream(const std::string &bytes) : file(tmpfile()) {
        fwrite(bytes.data(), 1, bytes.size(), file);
        rewind(file);
    }
    ~Stream() { fclose(file); }
    FILE *file;
};

std::vector<std::string> items(int argc, char **argv) {
    return std::vector<std::string>(argv, argv + argc);
}

std::string shifted(const char *text, int num) {
    char buf[64];
    snprintf(buf, sizeof buf, "%s", text);
    shift_string(buf, num);
    return buf;
}

} // namespace

TEST(LineReaders, FgetlineReadsLinesAndEmptyLinesThenEnd) {
    Stream s("a\n\nb\n");
    char line[KEM_LINE_MAX + 1];
    EXPECT_EQ(fgetline(s.file, line), 1);
    EXPECT_STREQ(line, "a");
    EXPECT_EQ(fgetline(s.file, line), 0);
    EXPECT_STREQ(line, "");
    EXPECT_EQ(fgetline(s.file, line), 1);
    EXPECT_STREQ(line, "b");
    EXPECT_EQ(fgetline(s.file, line), -1);
    EXPECT_EQ(fgetline(s.file, line), -1);
}

TEST(LineReaders, LeaveTheStreamOnTheNewlineAndStepOverIt) {
    Stream s("ab\ncd");
    char line[8];
    EXPECT_EQ(fgetnline(s.file, line, 7), 2);
    EXPECT_EQ(getc(s.file), '\n');
    EXPECT_EQ(fgetnline(s.file, line, 7), 2); // a last line without a newline
    EXPECT_STREQ(line, "cd");
    EXPECT_EQ(fgetnline(s.file, line, 7), -1);

    Stream t("\nsecond\n"); // an empty first line is stepped over
    EXPECT_EQ(fgetnline(t.file, line, 7), 6);
    EXPECT_STREQ(line, "second");
    EXPECT_EQ(fgetnline(t.file, line, 7), -1);
}

TEST(LineReaders, LongLinesComeInPiecesOfTheLimit) {
    Stream s(std::string(200, 'x') + "\n" + std::string(160, 'y') + "\nz\n");
    char line[KEM_LINE_MAX + 1];
    EXPECT_EQ(fgetnline(s.file, line, 160), 160);
    EXPECT_EQ(std::string(line), std::string(160, 'x'));
    EXPECT_EQ(fgetnline(s.file, line, 160), 40);
    EXPECT_EQ(fgetnline(s.file, line, 160), 160); // exactly the limit: no empty piece
    EXPECT_EQ(fgetnline(s.file, line, 160), 1);
    EXPECT_STREQ(line, "z");
    EXPECT_EQ(fgetnline(s.file, line, 160), -1);

    Stream t(std::string(170, 'q') + "\n");
    EXPECT_EQ(fgetline(t.file, line), 160);
    EXPECT_EQ(fgetline(t.file, line), 10);
    EXPECT_EQ(fgetline(t.file, line), -1);
}

TEST(LineReaders, NeverWritePastTheirLimit) {
    Stream s("abcdefgh\n");
    char buf[8];
    memset(buf, '#', sizeof buf);
    EXPECT_EQ(fgetnline(s.file, buf, 3), 3);
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(buf[4], '#');

    // A limit of 0 can store nothing: the reader ends instead of spinning.
    EXPECT_EQ(fgetnline(s.file, buf, 0), -1);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(fgetnline(s.file, buf, -5), -1);
    EXPECT_EQ(fgetnline(nullptr, buf, 5), -1);
}

TEST(LineReaders, CarriageReturnsStayExceptInRawReader) {
    Stream s("a b\r\n");
    char line[16];
    EXPECT_EQ(fgetnline(s.file, line, 15), 4);
    EXPECT_STREQ(line, "a b\r");

    Stream r("a\tb\rc\rd\n\x01x\x80y\n");
    EXPECT_EQ(fget_rawstring(r.file, line, 15), 1);
    EXPECT_STREQ(line, "a b"); // cut at the first carriage return
    EXPECT_EQ(fget_rawstring(r.file, line, 15), 1);
    EXPECT_STREQ(line, " x y");
}

TEST(LineReaders, BinaryGarbageIsReadSafely) {
    std::string bytes;
    for (int i = 0; i < 1000; ++i)
        bytes += static_cast<char>((i * 37) & 0xFF);
    Stream s(bytes);
    char line[KEM_LINE_MAX + 1];
    int calls = 0;
    while (fgetline(s.file, line) >= 0) {
        EXPECT_LE(strlen(line), 160u);
        ASSERT_LT(++calls, 1000);
    }
    Stream t(bytes);
    while (fget_rawstring(t.file, line, 160) >= 0)
        ASSERT_LT(++calls, 2000);
}

TEST(LineReaders, FskiplineDiscardsTheRestOfTheCurrentLine) {
    Stream s(std::string(170, 'x') + "\nnext\n");
    char line[KEM_LINE_MAX + 1];
    EXPECT_EQ(fgetline(s.file, line), 160);
    EXPECT_EQ(fskipline(s.file), 0); // the 10 remaining bytes and the newline
    EXPECT_EQ(fgetline(s.file, line), 4);
    EXPECT_STREQ(line, "next");
    EXPECT_EQ(fskipline(s.file), 0); // on the newline: nothing is skipped
    EXPECT_EQ(getc(s.file), '\n');
    EXPECT_EQ(fskipline(s.file), -1);

    Stream t("tail");
    EXPECT_EQ(fskipline(t.file), -1);
    EXPECT_EQ(fskipline(nullptr), -1);
}

TEST(Compare, StricmpAndStrnicmpIgnoreCase) {
    EXPECT_EQ(stricmp("Name", "NAME"), 0);
    EXPECT_LT(stricmp("abc", "abd"), 0);
    EXPECT_GT(stricmp("abcd", "ABC"), 0);
    EXPECT_EQ(stricmp("b", "A"), 'b' - 'a');
    EXPECT_EQ(stricmp(nullptr, "a"), 1);
    EXPECT_EQ(stricmp("a", nullptr), 1);
    EXPECT_EQ(strnicmp("ST=IN", "st", 2), 0);
    EXPECT_NE(strnicmp("ST=IN", "st", 3), 0);
    EXPECT_NE(strnicmp("a", "b", 0), 0);
    EXPECT_EQ(strnicmp("a", "Ab", 0), 0);
    EXPECT_EQ(strnicmp("ab", "AB", 100), 0); // stops at the strings' end
    EXPECT_EQ(strnicmp(nullptr, "a", 1), 1);
}

TEST(Compare, ChkArgTakesNamesOrNumbersInRange) {
    const char *list[] = {"north", "south", "east"};
    char **arr = const_cast<char **>(list);
    EXPECT_EQ(chk_arg("2", arr, 3), 2);
    EXPECT_EQ(chk_arg("4", arr, 3), KEM_MISSING);
    EXPECT_EQ(chk_arg("0", arr, 3), KEM_MISSING);
    EXPECT_EQ(chk_arg("SOUTH", arr, 3), 1);
    EXPECT_EQ(chk_arg("west", arr, 3), KEM_MISSING);
    EXPECT_EQ(chk_arg("99999999999999999999", arr, 3), KEM_MISSING);
    EXPECT_EQ(chk_arg(nullptr, arr, 3), KEM_MISSING);
}

TEST(Edit, StripEscapeKeepsTheEscapedByte) {
    char a[] = "a\\\\b";
    strip_escape(a);
    EXPECT_STREQ(a, "a\\b");
    char b[] = "\\nx\\";
    strip_escape(b);
    EXPECT_STREQ(b, "nx");
}

TEST(Edit, ShiftStringDropsFromEitherEndButNeverOutside) {
    EXPECT_EQ(shifted("abcdef", -2), "cdef");
    EXPECT_EQ(shifted("abcdef", 2), "abcd");
    EXPECT_EQ(shifted("abcdef", 0), "abcdef");
    EXPECT_EQ(shifted("abcdef", 6), "");
    EXPECT_EQ(shifted("abcdef", -6), "");
    // Dropping more than the string holds never writes outside it.
    char buf[16] = "##abc";
    EXPECT_EQ(shift_string(buf + 2, 10), 0);
    EXPECT_STREQ(buf, "##");
    char buf2[16] = "##abc";
    EXPECT_EQ(shift_string(buf2 + 2, -10), 0);
    EXPECT_STREQ(buf2, "##");
    EXPECT_EQ(shifted("abc", INT_MIN), "");
    EXPECT_EQ(shifted("abc", INT_MAX), "");
}

TEST(Edit, CleanLineCutsTrailingControlsAndBlanksTheRest) {
    char a[] = "a\tb\x90\r\n";
    EXPECT_EQ(clean_line(a), 1);
    EXPECT_STREQ(a, "a b ");
    char b[] = "x\xff";
    clean_line(b);
    EXPECT_STREQ(b, "x "); // a last byte of 128 or above is blanked, not cut
    char c[] = "\r\n";
    EXPECT_EQ(clean_line(c), 1);
    EXPECT_STREQ(c, "");
    char empty[] = "";
    EXPECT_EQ(clean_line(empty), 0);
}

TEST(Edit, StrntcpyStopsAtTheEndOfAShortSource) {
    // The source is a heap block of exactly three bytes: a copy of eight
    // bytes would read past it (caught by the address sanitizer).
    char *src = static_cast<char *>(malloc(3));
    memcpy(src, "ab", 3);
    char buf[16];
    memset(buf, '#', sizeof buf);
    EXPECT_EQ(strntcpy(buf, src, 8), 1);
    EXPECT_STREQ(buf, "ab");
    EXPECT_EQ(buf[3], '#');
    free(src);
}

TEST(Edit, StrmcatKeepsTheResultWithinM) {
    char buf[8] = "ab";
    EXPECT_EQ(strmcat(buf, "cdefghij", 5), 1);
    EXPECT_STREQ(buf, "abcde");
    EXPECT_EQ(strmcat(buf, "x", 5), 0);
    EXPECT_STREQ(buf, "abcde");
    EXPECT_EQ(strmcat(nullptr, "x", 5), 0);
    EXPECT_EQ(strmcat(buf, nullptr, 7), 0);
}

TEST(Edit, SetNumFollowsWidthAndSignificantDigits) {
    char buf[128];
    EXPECT_STREQ(set_num(buf, "5.3.1", 0.0f), "  0.0");
    EXPECT_STREQ(set_num(buf, "5.3.1", 0.000001f), "  0.0");
    EXPECT_STREQ(set_num(buf, "5.3.0", 12.345f), " 12.3");
    EXPECT_STREQ(set_num(buf, "0.3.0", 1.2345f), "1.23");      // width from significant digits
    EXPECT_STREQ(set_num(buf, "20.3.0", 123.0f), "      123"); // width capped at 9
    EXPECT_STREQ(set_num(buf, "5.2.0", 0.0123f), "0.012");
    // Fewer than three numbers: the missing ones count as 0.
    EXPECT_STREQ(set_num(buf, "6", 2.5f), "     2");
    EXPECT_STREQ(set_num(buf, nullptr, 2.5f), "2");
    EXPECT_STREQ(set_num(buf, "5.3.1", INFINITY), "  inf");
    EXPECT_LT(strlen(set_num(buf, "5.2000000000.1", 1.0f)), sizeof buf);
}

TEST(Parse, ParseStringSplitsAtTheDelimiterAndFailsOnEmptyText) {
    int argc = -1;
    char **argv = nullptr;
    ASSERT_EQ(parse_string("a,,b,", ',', &argc, &argv), 0);
    EXPECT_EQ(items(argc, argv), (std::vector<std::string>{"a", "", "b"}));
    free_parsed_array(argc, argv);

    ASSERT_EQ(parse_string("single item", ',', &argc, &argv), 0);
    EXPECT_EQ(items(argc, argv), (std::vector<std::string>{"single item"}));
    free_parsed_array(argc, argv);

    ASSERT_EQ(parse_string(",x, y ", ',', &argc, &argv), 0);
    EXPECT_EQ(items(argc, argv), (std::vector<std::string>{"", "x", " y "}));
    free_parsed_array(argc, argv);

    ASSERT_EQ(parse_string(",,,", ',', &argc, &argv), 0);
    EXPECT_EQ(items(argc, argv), (std::vector<std::string>{""}));
    free_parsed_array(argc, argv);

    argc = 7;
    argv = reinterpret_cast<char **>(&argc);
    EXPECT_EQ(parse_string("", ',', &argc, &argv), -1);
    EXPECT_EQ(argc, 0);
    EXPECT_EQ(argv, nullptr);
    EXPECT_EQ(parse_string(nullptr, ',', &argc, &argv), -1);
    EXPECT_EQ(free_parsed_array(argc, argv), 0);
}

TEST(Parse, ParseCommandGroupsQuotedWordsAndPutsTheCommandFirst) {
    int argc = 0;
    char **argv = nullptr;
    ASSERT_EQ(parse_command("  run \"two words\"   last  ", &argc, &argv), 0);
    EXPECT_EQ(items(argc, argv), (std::vector<std::string>{"run", "two words", "last"}));
    EXPECT_EQ(argv[argc], nullptr);
    free_parsed_array(argc, argv);

    ASSERT_EQ(parse_command("a \"open quote", &argc, &argv), 0);
    EXPECT_EQ(items(argc, argv), (std::vector<std::string>{"a", "open quote"}));
    free_parsed_array(argc, argv);

    ASSERT_EQ(parse_command("   ", &argc, &argv), 0);
    EXPECT_EQ(argc, 0);
    free_parsed_array(argc, argv);

    EXPECT_EQ(parse_command(nullptr, &argc, &argv), -1);

    ASSERT_EQ(parse_command_line("prog", "-a  b", &argc, &argv), 0);
    EXPECT_EQ(items(argc, argv), (std::vector<std::string>{"prog", "-a", "b"}));
    EXPECT_EQ(argv[3], nullptr);
    free_parsed_array(argc, argv);

    ASSERT_EQ(parse_command_line("prog", "", &argc, &argv), 0);
    EXPECT_EQ(items(argc, argv), (std::vector<std::string>{"prog"}));
    free_parsed_array(argc, argv);

    EXPECT_EQ(parse_command_line("", "", &argc, &argv), -1);
    EXPECT_EQ(argc, 0);
}

/* Look-ups reach the end of what they search: the last name and number
   of a list, the last occurrence in a text. */
TEST(Compare, LookupsReachTheLastItem) {
    const char *list[] = {"north", "south", "east"};
    char **arr = const_cast<char **>(list);
    EXPECT_EQ(chk_arg("3", arr, 3), 3);
    EXPECT_EQ(chk_arg("East", arr, 3), 2);
    EXPECT_EQ(searchstr(arr, 3, "EAST"), 1);
    EXPECT_EQ(searchstr(arr, 2, "east"), 0);
    const char *text = "ab-cd-ef";
    EXPECT_EQ(strlstr(text, "-"), text + 5);
    EXPECT_EQ(strlstr(text, "ef"), text + 6);
    EXPECT_EQ(strlstr(text, "x"), nullptr);
}

/* clean_line blanks bytes below 32 and from 128 up, and keeps 32 to 127. */
TEST(Edit, CleanLineBlanksAtBothEndsOfThePrintableBytes) {
    struct Case {
        const char *line, *cleaned;
    } cases[] = {{"a\037b", "a b"}, {"a b", "a b"}, {"a\177b", "a\177b"}, {"a\200b", "a b"}};
    for (const Case &c : cases) {
        char line[8];
        std::snprintf(line, sizeof line, "%s", c.line);
        clean_line(line);
        EXPECT_STREQ(line, c.cleaned) << static_cast<int>(static_cast<unsigned char>(c.line[1]));
    }
}
