// Tests of plot-domain decoding, printing and comparing, and of the
// station priorities a domain sets.  Each scenario that decodes runs in a
// child with the scratch directory as its file path, so that region files,
// station files and the module's priorities start fresh.
#include "support.h"

#include <climits>
#include <string>

namespace {

using kemtest::count_of;
using kemtest::in_child;
using kemtest::ScratchDir;

constexpr int M = KEM_MISSING; /* missing, for ints and floats alike */

/* A scratch directory holding the station fixture, made the file path of
   a child scenario that prints only print, error and warn messages. */
struct RegionScratch {
    ScratchDir dir;
    RegionScratch() {
        dir.write("sao.cty", kemtest::read_file(std::string(KEM_TEST_DATA) + "/sao.cty"));
        dir.write("st.cty", "Mine IL US KMIN 1 10.5 20.5 100 1 0\n");
    }
    void enter() const {
        MESS_set(0, M_warn);
        RES_put("file_path", dir.dir().c_str());
    }
};

Domain decoded(const char *text, int *result) {
    Domain d;
    *result = DOM_decode(text, &d);
    return d;
}

TEST(DomDecode, FormsFillTheDomain) {
    struct Case {
        const char *text;
        int result, proj;
        float clat, clon;
        int nx, ny;
        float dx, dy, plat, plon;
        int ellipse;
    };
    auto fields = [](const Case &c) {
        char text[200];
        std::snprintf(text, sizeof text, "%d %d %g %g %d %d %g %g %g %g %d", c.result, c.proj,
                      double(c.clat), double(c.clon), c.nx, c.ny, double(c.dx), double(c.dy),
                      double(c.plat), double(c.plon), c.ellipse);
        return std::string(text);
    };
    const Case cases[] = {
        /* text, result, proj, clat, clon, nx, ny, dx, dy, plat, plon, ellipse */
        {"ps,40,-100", 1, 1, 40, -100, 25, 17, 1.2f, 1.2f, M, M, 0},
        {"size,640,480", 1, 51, M, M, 640, 480, M, M, M, M, 0},
        {"zoom,2,3", 1, 50, 2, 3, 25, 17, 1, 1, M, M, 0},
        {"id:KORD", 1, 1, 41.98f, -87.90f, 25, 17, 1.2f, 1.2f, M, M, 0},
        {"ps,id:KORD,2", 1, 1, 41.98f, -87.90f, 25, 17, 2, 2, M, M, 0},
        {"id:st.cty:KMIN", 1, 1, 10.5f, 20.5f, 25, 17, 1.2f, 1.2f, M, M, 0},
        {"lc:25:-95,40,-100,1.0", 1, 4, 40, -100, 25, 17, 1, 1, 25, -95, 0},
        {"ps:-105,40,-100", 1, 1, 40, -100, 25, 17, 1.2f, 1.2f, M, -105, 0},
        {"ps:e,40,-100", 1, 1, 40, -100, 25, 17, 1.2f, 1.2f, M, 0, 0},
        {"ps:e:60:-105,40,-100", 1, 1, 40, -100, 25, 17, 1.2f, 1.2f, 60, -105, 1},
        {"ll,0,10,20,5", 1, 2, 0, 10, 25, 17, 20, 5, M, M, 0},
        {"ps,40,-100,33,21,1.5", 1, 1, -100, 33, 25, 17, 21, 1.5f, M, 40, 0}, /* form 3 first */
        {"ps,40,-100,33,21,1.5,2", 1, 1, 40, -100, 33, 21, 1.5f, 2, M, M, 0},
        {"40,-100,33,21", 1, 1, 40, -100, 33, 21, 1.2f, 1.2f, M, M, 0},
        {"40,-100", 1, 1, 40, -100, 25, 17, 1.2f, 1.2f, M, M, 0},
        {"us", 2, 1, 39, -97, 25, 17, 2.3f, 2.3f, M, -97, 0},
        {"ne", 2, 1, 42, -76, 25, 17, 0.9f, 0.9f, M, M, 0}, /* from kem.reg */
        {"nowhere", 2, -1, M, M, M, M, M, M, M, M, 0},
        {"bogus,40,-100", -1, 1, M, M, M, M, M, M, M, M, 0},
        {"id:NOPE", -1, M, M, M, M, M, M, M, M, M, 0},
        {"", M, M, M, M, M, M, M, M, M, M, 0},
        {"MISS", M, M, M, M, M, M, M, M, M, M, 0},
    };
    RegionScratch scratch;
    scratch.dir.write("kem.reg", "ne New_England 1 ps,42,-76,0.9\n");
    in_child([&] {
        scratch.enter();
        for (const Case &c : cases) {
            int result = 0;
            Domain d = decoded(c.text, &result);
            Case got{c.text, result, d.proj, d.clat, d.clon, d.nx,
                     d.ny,   d.dx,   d.dy,   d.plat, d.plon, d.ellipse};
            EXPECT_EQ(fields(got), fields(c)) << c.text;
            if (result != M) {
                EXPECT_EQ(FLAG_get(5), result) << c.text;
            }
        }
    });
}

TEST(DomDecode, TracesTheFormAndWarnsOnceForAnInvalidString) {
    RegionScratch scratch;
    auto run = in_child([&] {
        scratch.enter();
        MESS_set(1, 0x40000000u);
        Domain d;
        DOM_decode("ps,40,-100", &d);
        EXPECT_EQ(DOM_get_prior(), 3); /* 1.2 x 16 = 19.2 */
        char key[30] = "";
        FILE_get_key('r', key);
        EXPECT_STREQ(key, "ps,40,-100");
        DOM_decode("bogus,1,2", &d);
        EXPECT_EQ(DOM_get_prior(), 1); /* from the missing size */
    });
    EXPECT_EQ(run.out, "******** PARSING DOMAIN: 3 ps,40,-100\n 0 proj,clat,clon\n"
                       "******** PARSING DOMAIN: 3 bogus,1,2\n");
    EXPECT_EQ(count_of(run.err, "DOM_decode: Invalid plot domain\n"), 1u);
}

/* A region file in the working directory may be anyone's: the station
   and region files its domains name never open a pipe. */
TEST(DomDecode, DomainsFromRegionFilesNeverRunACommand) {
    RegionScratch scratch;
    scratch.dir.write("kem.reg", "st Station 1 id:|uname>&2:KORD\n"
                                 "fi Fi 1 fi:|uname>&2\n"
                                 "ok Fine 1 ps,1,2\n");
    std::string file = scratch.dir.dir() + "/kem.reg";
    auto run = in_child([&] {
        scratch.enter();
        int result = 0;
        for (const char *text : {"st", "fi"})
            EXPECT_EQ(decoded(text, &result).proj, -1) << text; /* an unknown region */
        EXPECT_EQ(decoded("ok", &result).proj, 1);
    });
    EXPECT_EQ(count_of(run.err, "Linux"), 0u);
    for (const char *domain : {"id:|uname>&2:KORD", "fi:|uname>&2"})
        EXPECT_EQ(count_of(run.err, "DOM_search_file: " + file + ": domain " + domain), 1u);
}

/* Found by fuzzing: grid counts at the ends of the int range once made
   the station priority's arithmetic overflow. */
TEST(DomDecode, GridCountsAtTheEndsOfTheIntRangeAreHarmless) {
    auto run = in_child([] {
        MESS_set(0, M_warn);
        for (const char *text : {"ps,,,-44444444444444,-44444444444,,-00",
                                 "ps,,,44444444444444,44444444444,1,1", "size,-2147483648,0"}) {
            int result = 0;
            Domain d = decoded(text, &result);
            EXPECT_EQ(result, 1) << text;
            EXPECT_TRUE(d.ny == INT_MIN || d.ny == INT_MAX || d.ny == 0) << text;
            EXPECT_GE(DOM_get_prior(), 1) << text;
        }
    });
    EXPECT_EQ(run.err, "");
}

TEST(DomDecode, RegionFilesThatNameThemselvesAreInvalid) {
    RegionScratch scratch;
    scratch.dir.write("self.reg", "loop Loop 1 self.reg:loop\n");
    scratch.dir.write("fi.reg", "fi:fi.reg\n");
    scratch.dir.write("kem.reg", "ne New_England 1\n"); /* no domain: "ne" names itself */
    scratch.dir.write("a.reg", "x X 1 b.reg:y\n");
    scratch.dir.write("b.reg", "y Y 1 ps,1,2\n");
    auto run = in_child([&] {
        scratch.enter();
        for (const char *text : {"self.reg:loop", "fi:fi.reg", "ne"}) {
            int result = 0;
            decoded(text, &result);
            EXPECT_EQ(result, -1) << text;
        }
        int result = 0;
        Domain d = decoded("a.reg:x", &result); /* two levels are fine */
        EXPECT_EQ(result, 2);
        EXPECT_FLOAT_EQ(d.clat, 1);
    });
    EXPECT_EQ(count_of(run.err, "DOM_decode: Invalid plot domain\n"), 3u);
}

TEST(DomProjStr, KeywordsByPrefixInTheirOrder) {
    struct Case {
        const char *word;
        int code;
    } cases[] = {{"lambaz", 4}, {"polar", 1},    {"PS", 1},    {"ll", 2},     {"la", 8},
                 {"xp", 25},    {"xpx", -1},     {"vert", 22}, {"therm", 40}, {"skewtx", 40},
                 {"miss", M},   {"missing", -1}, {"l", -1},    {"", -1},      {nullptr, -1}};
    for (const Case &c : cases)
        EXPECT_EQ(DOM_proj_str(c.word), c.code) << (c.word ? c.word : "(null)");
}

TEST(DomSetBasePrior, SizeThenStatPrior) {
    struct Case {
        const char *stat_prior;
        float size;
        int prior;
    } cases[] = {{nullptr, 30, 2}, {nullptr, 51, 1}, {nullptr, 3.1f, 5},
                 {nullptr, 3, 6},  {"-1", 30, 1},    {"5", 30, 5},
                 {"5", 100, 5},    {"+2", 30, 4},    {"x", 30, 2}};
    in_child([&] {
        for (const Case &c : cases) {
            RES_put("stat_prior", c.stat_prior);
            DOM_set_base_prior(c.size);
            EXPECT_EQ(DOM_get_prior(), c.prior) << (c.stat_prior ? c.stat_prior : "-") << c.size;
        }
    });
}

TEST(DomPrint, WritesADomainStringThatReadsBack) {
    RegionScratch scratch;
    auto run = in_child([&] {
        scratch.enter();
        Domain d, back;
        DOM_decode("ps:e:60:-105,40,-100", &d);
        std::string line = kemtest::capture_stdout([&] { DOM_print(M_print, &d); });
        EXPECT_EQ(line, "pstereo:e:60.000:-105.000:::,40.000,-100.000,25,17,1.2000,1.2000\n");
        line.pop_back();
        DOM_decode(line.c_str(), &back);
        EXPECT_EQ(DOM_comp(&d, &back), 1);
        DOM_print(M_out3, &d); /* not enabled: nothing */
    });
    EXPECT_EQ(run.out, "");
}

TEST(DomCompare, MissingParameterStandsForTheCentre) {
    Domain a, b;
    DOM_init(&a);
    a.proj = 4;
    a.clat = 40;
    a.clon = -100;
    b = a;
    b.plat = 40;
    EXPECT_EQ(DOM_comp(&a, &b), 1);
    EXPECT_EQ(DOM_comp_proj(&a, &b), 1);
    b.plat = 41;
    EXPECT_EQ(DOM_comp(&a, &b), 0);
    b = a;
    b.nx = 30;
    EXPECT_EQ(DOM_comp(&a, &b), 0);
    EXPECT_EQ(DOM_comp_proj(&a, &b), 1);
    b.ellipse = 1;
    EXPECT_EQ(DOM_comp_proj(&a, &b), 0);
    a.nx = 25;
    a.ny = 17;
    EXPECT_FLOAT_EQ(DOM_aspect(&a), 1.5f);
    a.nx = 1;
    EXPECT_FLOAT_EQ(DOM_aspect(&a), 1.0f);
}

TEST(DomResources, OptionEnvironmentAndDefaultsFileDecode) {
    RegionScratch scratch;
    scratch.dir.write("kem.cfg", "*.grid_domain: ll,5,6\n");
    in_child([&] {
        kemtest::clean_environment(scratch.dir.dir());
        setenv("kemregion", "us", 1);
        int argc = 0;
        char **argv = kemtest::make_argv({"prog", "-pd", "ps,40,-100"}, &argc);
        const res_type keyed[] = {RES_plot_domain, RES_grid_domain, RES_region, RES_null};
        const res_type positional[] = {RES_null};
        RES_init(argc, argv, keyed, positional);
        Domain d;
        EXPECT_EQ(RES_getval("plot_domain", &d, CV_domain), 1);
        EXPECT_FLOAT_EQ(d.clat, 40);
        EXPECT_EQ(RES_getval("region", &d, CV_region), 1);
        EXPECT_FLOAT_EQ(d.dx, 2.3f);
        EXPECT_EQ(RES_getval("grid_domain", &d, CV_domain), 1);
        EXPECT_EQ(d.proj, 2);
    });
}

/* Domains differing in any one field are different domains; only a
   field of the grid leaves the projection the same. */
TEST(DomCompare, AnyOneFieldApartMakesThemDiffer) {
    struct Case {
        const char *field;
        void (*change)(Domain &);
        int same_proj;
    } cases[] = {
        {"clat", [](Domain &d) { d.clat = 41; }, 1},
        {"clon", [](Domain &d) { d.clon = -101; }, 1},
        {"dx", [](Domain &d) { d.dx = 2; }, 1},
        {"dy", [](Domain &d) { d.dy = 2; }, 1},
        {"nx", [](Domain &d) { d.nx = 26; }, 1},
        {"ny", [](Domain &d) { d.ny = 18; }, 1},
        {"plat", [](Domain &d) { d.plat = 31; }, 0},
        {"plon", [](Domain &d) { d.plon = -99; }, 0},
        {"param[0]", [](Domain &d) { d.param[0] = 60; }, 0},
        {"param[4]", [](Domain &d) { d.param[4] = 1; }, 0},
        {"proj", [](Domain &d) { d.proj = 1; }, 0},
        {"ellipse", [](Domain &d) { d.ellipse = 1; }, 0},
    };
    Domain a;
    DOM_init(&a);
    a.proj = 4;
    a.plat = 30;
    a.plon = -100;
    a.clat = 40;
    a.clon = -100;
    a.nx = 25;
    a.ny = 17;
    a.dx = a.dy = 1;
    for (const Case &c : cases) {
        Domain b = a;
        c.change(b);
        EXPECT_EQ(DOM_comp(&a, &b), 0) << c.field;
        EXPECT_EQ(DOM_comp(&b, &a), 0) << c.field;
        EXPECT_EQ(DOM_comp_proj(&a, &b), c.same_proj) << c.field;
    }
}

/* A missing parameter stands for its own domain's centre, whichever of
   the two domains it is in. */
TEST(DomCompare, MissingParameterOnEitherSide) {
    Domain a, b;
    DOM_init(&a);
    a.proj = 1;
    a.plat = 60;
    a.clat = 40;
    a.clon = -90;
    a.plon = -105;
    b = a;
    b.clon = -105;
    b.plon = KEM_MISSING;
    EXPECT_EQ(DOM_comp_proj(&a, &b), 1);
    EXPECT_EQ(DOM_comp_proj(&b, &a), 1);
    b.clon = -90; /* now it stands for -90 */
    EXPECT_EQ(DOM_comp_proj(&a, &b), 0);
    EXPECT_EQ(DOM_comp_proj(&b, &a), 0);
}

} // namespace
