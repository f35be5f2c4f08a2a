/*
 * Tests of the station selection expressions, mostly against the stations
 * of the fixture database.
 */
#include <gtest/gtest.h>

#include "kem.h"

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

const std::vector<CTY_data> &fixture() {
    static const std::vector<CTY_data> stations = [] {
        std::vector<CTY_data> out;
        std::string path = std::string(KEM_TEST_DATA) + "/sao.cty";
        int fd = CTY_open(path.c_str(), 0, 0);
        CTY_data rec;
        while (fd >= 0 && CTY_read(fd, &rec) == 10)
            out.push_back(rec);
        CTY_close(fd);
        return out;
    }();
    return stations;
}

const CTY_data &station(const char *id) {
    for (const CTY_data &d : fixture()) {
        if (std::strcmp(d.id, id) == 0)
            return d;
    }
    static CTY_data none{};
    ADD_FAILURE() << "no station " << id;
    return none;
}

int cmp(std::vector<const char *> items, const CTY_data &d) {
    std::vector<char *> ids;
    for (const char *item : items)
        ids.push_back(const_cast<char *>(item));
    return CTY_data_cmp(static_cast<int>(ids.size()), ids.data(), &d);
}

/* Identifiers of the fixture stations that the items select. */
std::set<std::string> select(std::vector<const char *> items) {
    std::set<std::string> out;
    for (const CTY_data &d : fixture()) {
        if (cmp(items, d) != -1)
            out.insert(d.id);
    }
    return out;
}

template <typename Pred> std::set<std::string> where(Pred keep) {
    std::set<std::string> out;
    for (const CTY_data &d : fixture()) {
        if (keep(d))
            out.insert(d.id);
    }
    return out;
}

using Ids = std::set<std::string>;

const Ids kIndiana = {"KGYY", "KIND", "KSBN", "KFWA", "KEVV", "KLAF", "KHUF", "KBMG", "KMIE"};

} // namespace

TEST(CtySelect, FixtureLoads) {
    ASSERT_GE(fixture().size(), 40u);
}

TEST(CtySelect, NoItemsMatchEveryRecord) {
    EXPECT_EQ(CTY_data_cmp(0, nullptr, &station("KORD")), 1);
}

TEST(CtySelect, StateSelectsTheWholeStateInAnyCase) {
    EXPECT_EQ(select({"ST=IN"}), kIndiana);
    EXPECT_EQ(select({"st=in"}), kIndiana);
    EXPECT_EQ(select({"St=iN"}), kIndiana);
    EXPECT_EQ(select({"ST:IN"}), kIndiana);
    EXPECT_EQ(select({"st:in"}), kIndiana);
    EXPECT_EQ(select({"ST=IN_US"}), kIndiana);
    EXPECT_EQ(select({"ST:in_us"}), kIndiana);
    EXPECT_EQ(select({"ST=--_GB"}), Ids({"EGLL"}));
    EXPECT_TRUE(select({"ST=I"}).empty());
    EXPECT_TRUE(select({"ST=IND"}).empty());
    EXPECT_TRUE(select({"ST=IN_USA"}).empty());
    EXPECT_TRUE(select({"ST=IN_CA"}).empty());
}

TEST(CtySelect, StateRegionFormRightAlignsShortCodes) {
    CTY_data d = station("KORD");
    std::strcpy(d.state, "X");
    std::strcpy(d.region, "Y");
    EXPECT_EQ(cmp({" X_ Y"}, d), -1); /* a plain item, not a key */
    EXPECT_EQ(cmp({"ST= X_ Y"}, d), 0);
    EXPECT_EQ(cmp({"ST=X_Y"}, d), -1);
    EXPECT_EQ(cmp({"ST=X"}, d), -1);
}

TEST(CtySelect, PiecesOfAnItemMustAllMatch) {
    EXPECT_EQ(select({"ST=IN:P<2"}), Ids({"KIND", "KSBN", "KFWA"}));
    EXPECT_EQ(select({"ST:IN:P<2"}), Ids({"KIND", "KSBN", "KFWA"}));
    EXPECT_EQ(select({"ST=IL:P<0"}), Ids({"KORD"}));
    EXPECT_EQ(select({"CN=US:Lat<26"}), Ids({"KMIA", "PHNL"}));
    EXPECT_EQ(select({"CN:ca"}), Ids({"CYYZ", "CYUL", "CYVR"}));
    EXPECT_EQ(select({"CN=GB"}), Ids({"EGLL"}));
    EXPECT_EQ(select({"ID=kord"}), Ids({"KORD"}));
    EXPECT_TRUE(select({"ST=IN:KIND"}).empty()); /* a bare identifier is no key */
}

TEST(CtySelect, ItemsAreAlternativesGivingTheFirstMatchingIndex) {
    EXPECT_EQ(cmp({"KORD", "ST=IL"}, station("KORD")), 0);
    EXPECT_EQ(cmp({"KORD", "ST=IL"}, station("KSPI")), 1);
    EXPECT_EQ(cmp({"KORD", "ST=IL"}, station("KIND")), -1);
    EXPECT_EQ(cmp({"ST=IN", "KORD", "ST=IL"}, station("KORD")), 1);
    Ids illinois = where([](const CTY_data &d) { return std::strcmp(d.state, "IL") == 0; });
    EXPECT_EQ(select({"KORD", "ST=IL"}), illinois);
    Ids both = illinois;
    both.insert(kIndiana.begin(), kIndiana.end());
    EXPECT_EQ(select({"ST=IL", "ST=IN"}), both);
}

TEST(CtySelect, PlainItemsAreNumberIdentifierOrNamePrefix) {
    EXPECT_EQ(select({"72530"}), Ids({"KORD"}));
    EXPECT_EQ(select({"03772"}), Ids({"EGLL"}));
    EXPECT_TRUE(select({"3772"}).empty());
    EXPECT_EQ(select({"WMO=72530"}), Ids({"KORD"}));
    EXPECT_EQ(select({"wmo=03772"}), Ids({"EGLL"}));
    EXPECT_TRUE(select({"WMO=725"}).empty());
    EXPECT_EQ(select({"kord"}), Ids({"KORD"}));
    EXPECT_EQ(select({"ilx"}), Ids({"ILX"}));
    EXPECT_TRUE(select({"Chic"}).empty()); /* four characters are never a prefix */
    EXPECT_EQ(select({"Chica"}), Ids({"KORD", "KMDW"}));
    EXPECT_EQ(select({"CHICAGO_M"}), Ids({"KMDW"}));
    EXPECT_EQ(select({"Springfield"}), Ids({"KSPI", "KSGF"}));
    EXPECT_TRUE(select({"Chicago_Midway_Airport"}).empty());
}

TEST(CtySelect, NameKeyIsAPrefixOfAnyLength) {
    EXPECT_EQ(select({"Name=Chi"}), Ids({"KORD", "KMDW"}));
    EXPECT_EQ(select({"name=gARY"}), Ids({"KGYY"}));
    EXPECT_TRUE(select({"Name="}).empty());
    EXPECT_TRUE(select({"Name=Garyx"}).empty());
}

TEST(CtySelect, NumberComparisonsIncludeEquality) {
    EXPECT_EQ(select({"Lat>40:Lat<45"}),
              where([](const CTY_data &d) { return d.lat >= 40.0f && d.lat <= 45.0f; }));
    EXPECT_TRUE(select({"Lat>40:Lat<45"}).count("KCMH")); /* at 40.00 */
    EXPECT_TRUE(select({"Lat>40:Lat<45"}).count("KRRL")); /* at 45.00 */
    EXPECT_EQ(select({"Lat=41.98"}), Ids({"KORD"}));
    EXPECT_EQ(select({"LON<-150"}), Ids({"PANC", "PHNL"}));
    EXPECT_EQ(select({"Lon>139.78"}), Ids({"RJTT", "YSSY"}));
    EXPECT_EQ(select({"P>9"}), Ids({"ILX", "KMWN"}));
    EXPECT_EQ(select({"P=8"}), Ids({"KUIN", "KPNT", "KRRL"}));
    EXPECT_TRUE(select({"Elev=-9999"}).empty()); /* a missing elevation equals nothing */
    EXPECT_EQ(select({"Elev>2000"}), Ids({"MMMX"}));
    EXPECT_EQ(select({"WMO>91182"}), Ids({"PHNL", "YSSY", "KPNT"}));
    EXPECT_EQ(select({"WMO<3772"}), Ids({"EGLL"}));
}

TEST(CtySelect, RadiusAroundAPoint) {
    EXPECT_EQ(select({"RA<41.98:-87.9:50"}), Ids({"KORD", "KMDW", "KPWK", "KDPA"}));
    EXPECT_EQ(select({"ra<41.98:-87.9:50:P<4"}), Ids({"KORD", "KMDW", "KPWK"}));
    EXPECT_TRUE(select({"RA<41.98:-87.9:-1"}).empty());
}

TEST(CtySelect, StationAtTheCentreMatchesRadiusZero) {
    for (const CTY_data &d : fixture()) {
        char item[64];
        std::snprintf(item, sizeof item, "RA<%.9g:%.9g:0", d.lat, d.lon);
        EXPECT_EQ(cmp({item}, d), 0) << item;
    }
    CTY_data d = station("KORD");
    for (float lat : {0.0f, 89.99f, -89.99f, 90.0f, 33.333333f}) {
        for (float lon : {0.0f, 179.99f, -180.0f, 12.345678f}) {
            d.lat = lat;
            d.lon = lon;
            char item[64];
            std::snprintf(item, sizeof item, "RA<%.9g:%.9g:0", lat, lon);
            EXPECT_EQ(cmp({item}, d), 0) << item;
        }
    }
}

TEST(CtySelect, MalformedItemsFail) {
    const char *bad[] = {"ST",
                         "CN",
                         "ST=IL:ST",
                         "ST=IL:CN:",
                         "RA<41.98",
                         "RA<41.98:-87.9",
                         "RA<x:-87.9:50",
                         "RA<41.98:-87.9:x",
                         "P<",
                         "P<x",
                         "Lat>abc",
                         "Elev=",
                         "WMO<",
                         "WMO>z",
                         "",
                         ":",
                         "ST=IL::P<9",
                         "RA<41.98:P<9:P<9"};
    for (const char *item : bad)
        EXPECT_TRUE(select({item}).empty()) << '"' << item << '"';
    /* Trailing separators are dropped; blanks are kept as they stand. */
    EXPECT_EQ(select({"ST=IL:P<0:"}), Ids({"KORD"}));
    EXPECT_TRUE(select({"ST=IL :P<0"}).empty());
    EXPECT_TRUE(select({" KORD"}).empty());
}

TEST(CtySelect, EmptyItemMatchesOnlyAnEmptyIdentifier) {
    CTY_data d{};
    CTY_data_init(&d);
    EXPECT_EQ(cmp({""}, station("KORD")), -1);
    EXPECT_EQ(cmp({""}, d), 0);
}

TEST(CtyIdCmp, KeysMaySelectAnyIdentifier) {
    const char *keys[] = {"Name=X",   "ST=IN", "ST:IN", "CN=US", "cn:us",  "ID=X",
                          "RA<1:2:3", "P=1",   "P<1",   "P>1",   "Lat=1",  "lat<40",
                          "Lat>1",    "Lon=1", "Lon<1", "Lon>1", "Elev=1", "Elev<1",
                          "Elev>1",   "WMO=1", "WMO<1", "WMO>1", "ST=",    "P<"};
    for (const char *key : keys)
        EXPECT_EQ(CTY_id_cmp(key, "KORD"), 1) << key;
    EXPECT_EQ(CTY_id_cmp("KORD", "kord"), 1);
    EXPECT_EQ(CTY_id_cmp("KORD", "KMDW"), 0);
    EXPECT_EQ(CTY_id_cmp("Chicago", "KORD"), 0);
    EXPECT_EQ(CTY_id_cmp("ST", "KORD"), 0);
    EXPECT_EQ(CTY_id_cmp("STATE", "KORD"), 0);
    EXPECT_EQ(CTY_id_cmp("72530", "KORD"), 0);
    EXPECT_EQ(CTY_id_cmp(nullptr, "KORD"), 0);
}

TEST(CtyIdsCmp, AnyItemThatMaySelectTheIdentifier) {
    char kord[] = "KORD", kmdw[] = "KMDW", lat[] = "Lat<40";
    char *two[] = {kord, lat};
    char *ids[] = {kord, kmdw};
    EXPECT_EQ(CTY_ids_cmp(0, nullptr, "ANY"), 1);
    EXPECT_EQ(CTY_ids_cmp(2, two, "KIND"), 1);
    EXPECT_EQ(CTY_ids_cmp(2, two, "whatever"), 1);
    EXPECT_EQ(CTY_ids_cmp(2, ids, "kmdw"), 1);
    EXPECT_EQ(CTY_ids_cmp(2, ids, "KIND"), 0);
    EXPECT_EQ(CTY_ids_cmp(1, ids, "KMDW"), 0);
}

TEST(CtySelect, PreparedSelectionAnswersAsThePerRecordMatch) {
    const std::vector<std::vector<const char *>> lists = {
        {"ST=IN"},
        {"KORD", "ST=IL"},
        {"72530", "Chica", "kmdw"},
        {"ST:IN_US:P>7", "CN:GB"},
        {"RA<41.98:-87.9:50", "WMO=72530"},
        {"Lat>40:Lat<45", "Elev>2000", "WMO<4000"},
        {"", "Name=spr", "ID=KIND"},
        {"ST", "CN:", "RA<1", "P<x"},
        {"ST:CN=US"},
        {"st=in", "kord"},
        {"ST=IN_US", "ST=I"},
        {"Chicago_M", "West_Chicag", "whe", "KMDW"},
    };
    for (const auto &list : lists) {
        std::vector<char *> ids;
        for (const char *item : list)
            ids.push_back(const_cast<char *>(item));
        CTY_select *sel = CTY_select_new(static_cast<int>(ids.size()), ids.data());
        for (const CTY_data &d : fixture()) {
            int want = cmp(list, d);
            EXPECT_EQ(CTY_select_cmp(sel, &d), want) << list[0] << " " << d.id;
            if (want != -1) { /* the texts never rule out a record that matches */
                EXPECT_EQ(CTY_select_texts(sel, &d), 1) << list[0] << " " << d.id;
            }
        }
        CTY_select_free(sel);
    }
}

TEST(CtySelect, TextsAloneDecideSelectionsOfTexts) {
    const std::vector<std::vector<const char *>> lists = {
        {"ST=IN"},
        {"st=il", "KGYY"},
        {"kord"},
        {"chicago_mid", "Wheel"},
        {"ST=IN_US", "Name=W"},
        {"ID=kpwk", "CN=us"},
        {"St=In:Name=Ga"},
        {"ST=IN"},
    };
    for (const auto &list : lists) {
        std::vector<char *> ids;
        for (const char *item : list)
            ids.push_back(const_cast<char *>(item));
        CTY_select *sel = CTY_select_new(static_cast<int>(ids.size()), ids.data());
        for (const CTY_data &d : fixture())
            EXPECT_EQ(CTY_select_texts(sel, &d), cmp(list, d) != -1 ? 1 : 0) << list[0] << d.id;
        CTY_select_free(sel);
    }
}

TEST(CtySelect, CountedTextsRuleOutAsTheRecordWould) {
    char st[] = "ST=IN", kord[] = "kord", wheel[] = "Wheeling_E", lat[] = "Lat>40";
    char *texts[] = {st, kord, wheel};
    char *numbers[] = {lat};
    CTY_select *sel = CTY_select_new(3, texts), *num = CTY_select_new(1, numbers);
    struct Case {
        const char *name, *state, *id; /* read up to their counts, no ends */
        int name_len, state_len, id_len, want;
    } cases[] = {
        {"GaryX", "INX", "KXXXX", 4, 2, 4, 1},    /* the state */
        {"Gary", "ILX", "KORDX", 4, 2, 4, 1},     /* the identifier, any case */
        {"Gary", "IL", "KORDX", 4, 2, 5, 0},      /* a longer identifier */
        {"Wheeling_Exx", "IL", "K", 12, 2, 1, 1}, /* a name prefix */
        {"Wheeling_", "IL", "K", 9, 2, 1, 0},     /* too short for it */
        {"Gary", "ILL", "K", 4, 3, 1, 0},         /* the state cut as a record cuts it */
        {"Gary", "IL", "KORD", -1, 2, 4, 1},      /* a count below 0: unsure */
    };
    for (const Case &c : cases) {
        EXPECT_EQ(CTY_select_words(sel, c.name, c.name_len, c.state, c.state_len, c.id, c.id_len),
                  c.want)
            << c.name << " " << c.id;
        EXPECT_EQ(CTY_select_words(num, c.name, c.name_len, c.state, c.state_len, c.id, c.id_len),
                  1); /* numbers decide */
    }
    EXPECT_EQ(CTY_select_words(nullptr, "a", 1, "b", 1, "c", 1), 1);
    CTY_select_free(sel);
    CTY_select_free(num);
}

TEST(CtySelect, ManyIdentifiersGiveTheFirstMatchingIndex) {
    std::vector<std::string> texts;
    for (int i = 0; i < 1000; ++i)
        texts.push_back("X" + std::to_string(i));
    texts[500] = "kind";
    texts[700] = "KIND";
    texts[900] = "Indianapolis";
    std::vector<const char *> list;
    for (const std::string &t : texts)
        list.push_back(t.c_str());
    EXPECT_EQ(cmp(list, station("KIND")), 500);
    EXPECT_EQ(cmp(list, station("KORD")), -1);
    list.insert(list.begin(), "ST=IN:P<1");
    EXPECT_EQ(cmp(list, station("KIND")), 0);
}

/* A missing value (-9999) satisfies no comparison on its key, and a
   station without a position lies within no radius. */
TEST(CtySelect, MissingValuesSatisfyNoComparison) {
    CTY_data d{};
    CTY_data_init(&d);
    std::strcpy(d.id, "KXYZ");
    d.prior = KEM_MISSING;
    d.lat = d.lon = d.el = KEM_MISSING;
    d.wmo = KEM_MISSING;
    const char *items[] = {"Lat<-60", "Lat=-9999", "Lon<0", "Lon>-10000", "Elev<100",
                           "Elev=-9999", "WMO<0",   "WMO=-9999", "P<5",   "P=-9999",
                           "RA<0:0:30000"};
    for (const char *item : items)
        EXPECT_EQ(cmp({item}, d), -1) << item;
    EXPECT_EQ(cmp({"KXYZ"}, d), 0); /* the station itself is there */
    d.lat = -70, d.lon = 10, d.el = 5, d.wmo = 89000, d.prior = 2;
    for (const char *item : {"Lat<-60", "Lon>0", "Elev<100", "WMO>0", "P<5", "RA<-70:10:1"})
        EXPECT_EQ(cmp({item}, d), 0) << item;
}

/* Items that cannot be read say why; items that can, and plain values,
   say nothing. */
TEST(CtySelect, UnreadableItemsSayWhy) {
    const struct {
        const char *item, *why;
    } cases[] = {
        {"RA<41.98:-87.9", "RA< needs a latitude, a longitude and a radius in km (RA<lat:lon:km)"},
        {"RA<abc:1:2", "abc is not a latitude"},
        {"RA<41:x:2", "x is not a longitude"},
        {"RA<41:-87:2km", "2km is not a radius in km"},
        {"RA<95:0:2", "latitude 95 is beyond the poles"},
        {"P<", "P< needs a number"},
        {"Lat>4x", "only 4 of 4x is read as a number"},
        {"Foo=3", "Foo= is not a selection key"},
        {"ST=IN:Bar<2", "Bar< is not a selection key"},
        {"ST=IN:KORD", "KORD is not a key expression (Key=value)"},
        {"ST=Indiana", "ST= takes a state (ST=IN) or a state and region (ST=IN_US)"},
        {"ST=IN:CN", "CN: needs a value in the piece after it"},
        {"WMO=7253", "WMO= takes a station number of five digits (WMO=03772)"},
        {"Name=", "Name= needs the start of a name"},
    };
    const char *fine[] = {"KORD", "72530", "Chicago", "ST=IN:P<1", "ST:IN", "RA<41.98:-87.9:30",
                          "Lat>40:Lat<45", "WMO=72530", "CN=US", ""};
    std::vector<char *> items;
    for (const auto &c : cases)
        items.push_back(const_cast<char *>(c.item));
    for (const char *item : fine)
        items.push_back(const_cast<char *>(item));
    CTY_select *sel = CTY_select_new(static_cast<int>(items.size()), items.data());
    for (size_t i = 0; i < items.size(); ++i) {
        const char *why = CTY_select_problem(sel, static_cast<int>(i));
        const char *want = i < std::size(cases) ? cases[i].why : nullptr;
        EXPECT_STREQ(why, want) << items[i];
    }
    EXPECT_EQ(CTY_select_problem(sel, -1), nullptr);
    EXPECT_EQ(CTY_select_problem(sel, static_cast<int>(items.size())), nullptr);
    CTY_select_free(sel);
}

/* Noted records tell which plain values answered something, whatever
   item a record matched first. */
TEST(CtySelect, NotedRecordsTellWhichPlainValuesFoundNothing) {
    const char *list[] = {"KORD", "72530", "ST=IL", "KXYZ", "Chica", "kord", "Nowhere"};
    CTY_select *sel = CTY_select_new(7, const_cast<char **>(list));
    for (const CTY_data &d : fixture()) {
        if (CTY_select_cmp(sel, &d) != -1) {
            EXPECT_EQ(CTY_select_note(sel, &d), 0);
        }
    }
    const int want[] = {1, 1, -1, 0, 1, 1, 0};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(CTY_select_noted(sel, i), want[i]) << list[i];
    CTY_select_free(sel);
}
