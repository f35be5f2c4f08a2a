// Tests of the current-time text.
#include "kem.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <regex>
#include <string>

namespace {

std::string expected_text(time_t when) {
    static const char *months[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                   "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    struct tm utc;
    gmtime_r(&when, &utc);
    char text[64];
    std::snprintf(text, sizeof text, "%02d %s %02d  %02d:%02d:%02dZ", utc.tm_year % 100,
                  months[utc.tm_mon], utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    return text;
}

} // namespace

TEST(Date, CurrentStrIsTheUniversalTimeInTwentyCharacters) {
    char buf[32];
    std::memset(buf, 'X', sizeof buf);
    time_t before = time(nullptr);
    EXPECT_EQ(DATE_get_current_str(buf), 0);
    time_t after = time(nullptr);

    EXPECT_EQ(buf[20], '\0');
    EXPECT_EQ(buf[21], 'X'); // nothing beyond the 21 bytes callers provide
    EXPECT_TRUE(std::regex_match(buf, std::regex("[0-9]{2} [A-Z]{3} [0-9]{2}  "
                                                 "[0-9]{2}:[0-9]{2}:[0-9]{2}Z")))
        << buf;
    bool matches = false;
    for (time_t t = before; t <= after; ++t)
        matches |= expected_text(t) == buf;
    EXPECT_TRUE(matches) << buf << " vs " << expected_text(before);
    EXPECT_EQ(DATE_get_current_str(nullptr), 0);
}
