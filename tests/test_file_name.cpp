/*
 * Tests of data file naming: key texts, names built from templates and
 * dates, typed names read back, the current and latest file, and walks
 * over real files in a scratch directory.
 */
#include "support.h"

#include <string>

using namespace kemtest;

namespace {

std::string key_text(int key) {
    char text[30] = "unchanged";
    FILE_get_key(key, text);
    return text;
}

} // namespace

TEST(FileName, KeyTextsAreBoundedAndBlanksBecomeUnderscores) {
    FILE_set_key('a', "north east");
    EXPECT_EQ(key_text('a'), "north_east");
    FILE_set_key('b', std::string(40, 'x').c_str());
    EXPECT_EQ(key_text('b'), std::string(29, 'x'));
    FILE_set_key(static_cast<char>(0xE9), "high"); /* a byte above 127 */
    EXPECT_EQ(key_text(0xE9), "high");
    FILE_set_key('a', nullptr);
    EXPECT_EQ(key_text('a'), "");
}
