// Tests of paths and file access.
#include "support.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <vector>
#include <cstring>
#include <string>

namespace {

using kemtest::in_child;
using kemtest::read_file;
using kemtest::run_in_child;
using kemtest::write_file;

// A scratch directory under /tmp, removed with everything in it.
class Files : public ::testing::Test {
  protected:
    std::string at(const std::string &name) const { return scratch.path(name); }
    kemtest::ScratchDir scratch;
    const std::string dir = scratch.dir();
};

std::string joined(const char *path, const char *file) {
    char out[KEM_PATH_MAX];
    return FILE_add_path(path, file, out);
}

std::string expanded(const char *name) {
    char out[KEM_PATH_MAX];
    EXPECT_EQ(FILE_add_user_path(name, out), 0);
    return out;
}

std::string home_dir() {
    const passwd *pw = getpwuid(getuid());
    return pw != nullptr ? pw->pw_dir : "";
}

mode_t dir_mode(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

} // namespace

TEST(FileNames, CompleteAndStandardStreamNames) {
    EXPECT_EQ(FILE_fullpath("/abs"), 1);
    EXPECT_EQ(FILE_fullpath("./rel"), 1);
    EXPECT_EQ(FILE_fullpath("~/x"), 1);
    EXPECT_EQ(FILE_fullpath("data/x"), 0);
    EXPECT_EQ(FILE_fullpath(""), 0);
    EXPECT_EQ(FILE_fullpath(nullptr), 0);

    for (const char *name : {"", "-", "std", "STD", "Std", "STDN", "stdn"})
        EXPECT_EQ(FILE_is_stdio(name), 1) << name;
    for (const char *name : {"stdin", "--", "std ", "x"})
        EXPECT_EQ(FILE_is_stdio(name), 0) << name;
}

TEST(FileNames, AddPathJoinsWithOneSlash) {
    EXPECT_EQ(joined(nullptr, "sao.cty"), "sao.cty");
    EXPECT_EQ(joined("/data", "sao.cty"), "/data/sao.cty");
    EXPECT_EQ(joined("/data/", "sao.cty"), "/data/sao.cty");
    EXPECT_EQ(joined("", "sao.cty"), "sao.cty");
    EXPECT_EQ(joined("a:b", "f"), "a:b/f"); // one directory, not a list
    EXPECT_EQ(joined("~/d", "f"), "~/d/f"); // expanded only when used
    for (const char *name : {"./x", "/x", "~x", "-", "STD"})
        EXPECT_EQ(joined("/data", name), name);

    char path[KEM_PATH_MAX] = "dir";
    FILE_add_path_delim(path);
    EXPECT_STREQ(path, "dir/");
    FILE_add_path_delim(path);
    EXPECT_STREQ(path, "dir/");
    char empty[KEM_PATH_MAX] = "";
    FILE_add_path_delim(empty);
    EXPECT_STREQ(empty, "");
}

TEST(FileNames, AddPathCutsAtTheBufferSizeAndAnswersNull) {
    // Exactly 160 bytes on the heap: any byte more is an overrun.
    char *out = static_cast<char *>(malloc(KEM_PATH_MAX));
    std::string dir(150, 'd');
    std::string name(30, 'n');
    EXPECT_EQ(FILE_add_path(dir.c_str(), name.c_str(), out), nullptr);
    EXPECT_EQ(strlen(out), 159u);
    EXPECT_EQ(std::string(out), (dir + "/" + name).substr(0, 159));

    std::string full = "/" + std::string(300, 'f');
    EXPECT_EQ(FILE_add_path(nullptr, full.c_str(), out), nullptr);
    EXPECT_EQ(std::string(out), full.substr(0, 159));

    // 159 characters still fit, the delimiter included.
    std::string fits(159 - 1 - 8, 'd');
    EXPECT_EQ(FILE_add_path(fits.c_str(), "name.raw", out), out);
    EXPECT_EQ(std::string(out), fits + "/name.raw");
    std::string exact(159 - 8, 'd');
    EXPECT_EQ(FILE_add_path(exact.c_str(), "name.raw", out), nullptr);

    char *delim = static_cast<char *>(malloc(KEM_PATH_MAX));
    memset(delim, 'p', 159);
    delim[159] = '\0';
    FILE_add_path_delim(delim); // full: no room for the '/'
    EXPECT_EQ(strlen(delim), 159u);
    free(delim);
    free(out);
}

TEST(FileNames, AddPathMayWriteOverItsOwnArguments) {
    char buf[KEM_PATH_MAX] = "/base";
    EXPECT_STREQ(FILE_add_path(buf, "f", buf), "/base/f");
    char name[KEM_PATH_MAX] = "f";
    EXPECT_STREQ(FILE_add_path("/base", name, name), "/base/f");
}

TEST(FileNames, TildeExpandsToHomeDirectories) {
    std::string home = home_dir();
    ASSERT_FALSE(home.empty());
    EXPECT_EQ(expanded("~"), home);
    EXPECT_EQ(expanded("~/a"), home + "/a");
    const passwd *pw = getpwuid(getuid());
    std::string user = pw->pw_name;
    EXPECT_EQ(expanded(("~" + user + "/a").c_str()), home + "/a");
    EXPECT_EQ(expanded(("~" + user).c_str()), home);
    EXPECT_EQ(expanded("plain/name"), "plain/name");
    EXPECT_EQ(expanded("~nosuchuserkq/a"), "~nosuchuserkq/a");
}

TEST(FileNames, OverlongUserNamesAreUnknownAccounts) {
    std::string name = "~" + std::string(40, 'u') + "/a";
    EXPECT_EQ(expanded(name.c_str()), name);
    std::string twenty = "~" + std::string(20, 'r');
    EXPECT_EQ(expanded(twenty.c_str()), twenty);
}

TEST_F(Files, ExistenceKindSizeTimeAndDelete) {
    write_file(at("f"), "12345");
    ASSERT_EQ(mkfifo(at("p").c_str(), 0600), 0);
    EXPECT_EQ(FILE_exist(at("f").c_str()), 1);
    EXPECT_EQ(FILE_exist(at("missing").c_str()), 0);
    EXPECT_EQ(FILE_is_file(at("f").c_str()), 1);
    EXPECT_EQ(FILE_is_dir(at("f").c_str()), 0);
    EXPECT_EQ(FILE_is_dir(dir.c_str()), 1);
    EXPECT_EQ(FILE_is_fifo(at("p").c_str()), 1);
    EXPECT_EQ(FILE_is_file(at("p").c_str()), 0);
    EXPECT_EQ(FILE_is_device("/dev/null"), 1);
    EXPECT_EQ(FILE_is_device(at("f").c_str()), 0);
    EXPECT_EQ(FILE_is_file(at("missing").c_str()), 0);
    EXPECT_EQ(FILE_is_dir("~"), 1);
    EXPECT_EQ(FILE_exist(nullptr), 0);

    struct utimbuf times = {1000000000, 1234567890};
    ASSERT_EQ(utime(at("f").c_str(), &times), 0);
    EXPECT_EQ(FILE_size(at("f").c_str()), 5);
    EXPECT_EQ(FILE_modtime(at("f").c_str()), 1234567890);
    EXPECT_EQ(FILE_size(at("missing").c_str()), -1);
    EXPECT_EQ(FILE_modtime(at("missing").c_str()), -1);
    EXPECT_EQ(FILE_delete(at("f").c_str()), 0);
    EXPECT_EQ(FILE_exist(at("f").c_str()), 0);
    EXPECT_EQ(FILE_delete(at("f").c_str()), -1);
}

TEST_F(Files, StandardStreamNamesExistWithoutAFile) {
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(dir.c_str()), 0);
    EXPECT_EQ(FILE_exist("-"), 1);
    EXPECT_EQ(FILE_exist(""), 1);
    EXPECT_EQ(FILE_is_file("-"), 0);
    write_file(at("-"), "x");
    EXPECT_EQ(FILE_is_file("-"), 1);
    EXPECT_EQ(FILE_is_dir("-"), 0);
    ASSERT_EQ(chdir(cwd), 0);
}

TEST_F(Files, NamesLongerThanAPathAreRefused) {
    // A real file whose full name has more than 159 characters: every
    // operation fails as for a missing file instead of using a cut name.
    std::string deep = dir;
    while (deep.size() < 200) {
        deep += "/" + std::string(40, 'd');
        ASSERT_EQ(mkdir(deep.c_str(), 0755), 0);
    }
    std::string name = deep + "/file";
    write_file(name, "KEMSFC data");
    ASSERT_EQ(access(name.c_str(), F_OK), 0);
    const char *n = name.c_str();
    EXPECT_EQ(FILE_exist(n), 0);
    EXPECT_EQ(FILE_is_file(n), 0);
    EXPECT_EQ(FILE_size(n), -1);
    EXPECT_EQ(FILE_modtime(n), -1);
    EXPECT_EQ(FILE_open(n, "r"), nullptr);
    EXPECT_EQ(FILE_type(n), -1);
    EXPECT_EQ(FILE_delete(n), -1);
    EXPECT_EQ(access(n, F_OK), 0);

    // The cut name must not be created or opened either.
    std::string cut = name.substr(0, 159);
    EXPECT_EQ(FILE_open(n, "w"), nullptr);
    EXPECT_NE(access(cut.c_str(), F_OK), 0);

    std::string home_long = "~/" + std::string(200, 'h');
    EXPECT_EQ(FILE_exist(home_long.c_str()), 0);
}

TEST_F(Files, MakeDirCreatesTheMissingDirectories) {
    mode_t mask = umask(022);
    char path[KEM_PATH_MAX];
    snprintf(path, sizeof path, "%s/a/b/c.txt", dir.c_str());
    EXPECT_EQ(FILE_make_dir(path, 1), 0);
    EXPECT_EQ(dir_mode(at("a")), 0755u);
    EXPECT_EQ(dir_mode(at("a/b")), 0755u);
    EXPECT_EQ(access(at("a/b/c.txt").c_str(), F_OK), -1);
    EXPECT_EQ(FILE_make_dir(path, 1), 1); // a/b exists now

    snprintf(path, sizeof path, "%s\\x\\y\\", dir.c_str());
    EXPECT_EQ(FILE_make_dir(path, 0), 0);
    EXPECT_EQ(std::string(path), dir + "/x/y/");
    EXPECT_EQ(dir_mode(at("x/y")), 0755u);

    snprintf(path, sizeof path, "%s//m//n/f", dir.c_str());
    EXPECT_EQ(FILE_make_dir(path, 1), 0);
    EXPECT_EQ(dir_mode(at("m/n")), 0755u);
    umask(mask);
}

TEST_F(Files, MakeDirStopsAtItsPrefixLimit) {
    // Directories whose prefix would pass 99 characters are not created;
    // the shallower ones are.
    std::string shallow = dir + "/s";
    std::string deep = shallow + "/" + std::string(120 - shallow.size(), 'q');
    std::string path = deep + "/file";
    ASSERT_LT(path.size(), 160u);
    char buf[KEM_PATH_MAX];
    snprintf(buf, sizeof buf, "%s", path.c_str());
    EXPECT_EQ(FILE_make_dir(buf, 1), 0);
    EXPECT_EQ(FILE_is_dir(shallow.c_str()), 1);
    EXPECT_EQ(FILE_is_dir(deep.c_str()), 0);
    EXPECT_EQ(FILE_is_dir(deep.substr(0, 99).c_str()), 0);
    EXPECT_EQ(FILE_make_dir(nullptr, 1), 0);
}

TEST_F(Files, OpenForWritingCreatesDirectoriesOnce) {
    std::string name = at("a/b/c.txt");
    FILE *out = FILE_open(name.c_str(), "w");
    ASSERT_NE(out, nullptr);
    fputs("text\n", out);
    EXPECT_EQ(FILE_close(out), 0);
    EXPECT_EQ(read_file(name), "text\n");
    FILE *app = FILE_open(name.c_str(), "a");
    ASSERT_NE(app, nullptr);
    fputs("more\n", app);
    EXPECT_EQ(FILE_close(app), 0);
    EXPECT_EQ(read_file(name), "text\nmore\n");

    // Reading never creates anything.
    EXPECT_EQ(FILE_open(at("r/s/t").c_str(), "r"), nullptr);
    EXPECT_EQ(FILE_exist(at("r").c_str()), 0);
    EXPECT_EQ(FILE_open(nullptr, "r"), nullptr);
    EXPECT_EQ(FILE_open("x", nullptr), nullptr);

    // A directory is no file, whatever the access.
    for (const char *access : {"r", "w", "a"}) {
        errno = 0;
        EXPECT_EQ(FILE_open(at("a/b").c_str(), access), nullptr) << access;
        EXPECT_EQ(errno, EISDIR) << access;
    }
}

TEST_F(Files, DirectoriesMadeForWritingGetTheModeTheUmaskGives) {
    for (mode_t mask : {022, 002, 077}) {
        mode_t saved = umask(mask);
        std::string top = at("u" + std::to_string(mask));
        FILE *out = FILE_open((top + "/v/f").c_str(), "w");
        umask(saved);
        ASSERT_NE(out, nullptr) << mask;
        FILE_close(out);
        EXPECT_EQ(dir_mode(top), 0777 & ~mask) << mask;
        EXPECT_EQ(dir_mode(top + "/v"), 0777 & ~mask) << mask;
    }
}

// A link as a written file's own name is followed only where nobody but
// the user or root could have put it.
TEST_F(Files, WritingFollowsALinkOnlyInADirectoryNobodyElseMayWrite) {
    const std::string target = at("mine");
    struct Case {
        const char *dir;
        mode_t mode;
        int owner, group; // -1: this process's
        bool followed;
    };
    std::vector<Case> cases = {{"shared", 01777, -1, -1, false}, {"own", 0755, -1, -1, true}};
    if (kemtest::can_become_users()) { // a group nobody has, another user
        const int a = static_cast<int>(kemtest::user_a);
        cases.push_back({"group", 0775, -1, a, false});
        cases.push_back({"theirs", 0755, a, a, false});
    }
    for (const Case &c : cases) {
        std::string dir_path = at(c.dir);
        ASSERT_EQ(mkdir(dir_path.c_str(), 0700), 0);
        ASSERT_EQ(chmod(dir_path.c_str(), c.mode), 0);
        ASSERT_EQ(chown(dir_path.c_str(), c.owner, c.group), 0);
        std::string link = dir_path + "/run.log";
        ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
        for (const char *access : {"w", "a", "r+", "a+"}) {
            write_file(target, "mine\n");
            errno = 0;
            FILE *out = FILE_open(link.c_str(), access);
            if (!c.followed) {
                EXPECT_EQ(out, nullptr) << c.dir << " " << access;
                EXPECT_EQ(errno, ELOOP) << c.dir << " " << access;
                EXPECT_EQ(read_file(target), "mine\n") << c.dir << " " << access;
                continue;
            }
            ASSERT_NE(out, nullptr) << c.dir << " " << access;
            fputs("log\n", out);
            FILE_close(out);
            EXPECT_EQ(read_file(target), access[0] == 'w' ? "log\n" : access[0] == 'r' ? "log\n\n"
                                                                               : "mine\nlog\n")
                << c.dir << " " << access;
        }
        // Reading goes through any link.
        FILE *in = FILE_open(link.c_str(), "r");
        EXPECT_NE(in, nullptr) << c.dir;
        FILE_close(in);
    }
    // A dangling link is not followed either: nothing is created.
    std::string dangling = at("shared/new.log");
    ASSERT_EQ(symlink(at("created").c_str(), dangling.c_str()), 0);
    EXPECT_EQ(FILE_open(dangling.c_str(), "w"), nullptr);
    EXPECT_FALSE(std::filesystem::exists(at("created")));
    // Root's links in root's /dev are the user's way to name a stream.
    kemtest::Captured run = in_child([] {
        FILE *out = FILE_open("/dev/stdout", "a");
        ASSERT_NE(out, nullptr);
        fputs("through /dev/stdout\n", out);
        FILE_close(out);
    });
    EXPECT_EQ(run.out, "through /dev/stdout\n");
}

TEST(FileOpen, StandardStreamNamesOpenAndCloseWithoutClosingThem) {
    EXPECT_EQ(FILE_open("-", "w"), stdout);
    EXPECT_EQ(FILE_open("", "w"), stdout);
    EXPECT_EQ(FILE_open("std", "a"), stdout);
    EXPECT_EQ(FILE_open("-", "r"), stdin);
    EXPECT_EQ(FILE_open("", "r"), stdin);
    EXPECT_EQ(FILE_close(nullptr), -1);
    EXPECT_EQ(FILE_close(FILE_open("-", "w")), 0);
    EXPECT_EQ(FILE_close(FILE_open("-", "r")), 0);
    EXPECT_EQ(FILE_close(stderr), 0);
    EXPECT_NE(fcntl(STDIN_FILENO, F_GETFD), -1);
    EXPECT_NE(fcntl(STDOUT_FILENO, F_GETFD), -1);
    EXPECT_EQ(fileno(stdin), STDIN_FILENO);
    EXPECT_GE(fprintf(stdout, "%s", ""), 0);
}

TEST_F(Files, PipesReadAndWriteThroughACommand) {
    std::string target = at("piped");
    FILE *out = FILE_open(("|cat > '" + target + "'").c_str(), "w");
    ASSERT_NE(out, nullptr);
    fputs("through the pipe\n", out);
    EXPECT_EQ(FILE_close(out), 0); // pclose waits for the command
    EXPECT_EQ(read_file(target), "through the pipe\n");

    FILE *in = FILE_open("|echo hello", "r");
    ASSERT_NE(in, nullptr);
    char line[KEM_LINE_MAX + 1];
    EXPECT_EQ(fgetline(in, line), 5);
    EXPECT_STREQ(line, "hello");
    EXPECT_EQ(FILE_close(in), 0);
}

TEST_F(Files, TypeRecognisesTheDataMagics) {
    const std::pair<const char *, int> cases[] = {
        {"KEMSFC 1.0", 11}, {"KEMUPA", 12},    {"KEMRAWxxxxxx", 5}, {"KEMGRID?", 6},
        {"KEMMETA", 8},     {"KEMIMG\n\n", 9}, {"KEMGRI", -1},      {"kemsfc....", -1},
        {"", -1},           {"KEM", -1},       {"XKEMSFC", -1},
    };
    for (const auto &[text, code] : cases) {
        write_file(at("data"), text);
        EXPECT_EQ(FILE_type(at("data").c_str()), code) << text;
    }
    EXPECT_EQ(FILE_type(at("missing").c_str()), -1);
    EXPECT_EQ(FILE_type(dir.c_str()), -1);
    EXPECT_EQ(FILE_type(nullptr), -1);
}

TEST_F(Files, TypeFallsBackToTheNameBeforeTheDash) {
    write_file(at("grid"), "KEMGRID v2");
    EXPECT_EQ(FILE_type(at("grid-03").c_str()), 6);
    EXPECT_EQ(FILE_type(at("grid-03-x").c_str()), 6);
    EXPECT_EQ(FILE_type(at("other-03").c_str()), -1);
    std::string dashed = at("kem-dir");
    ASSERT_EQ(mkdir(dashed.c_str(), 0755), 0);
    write_file(dashed + "/raw", "KEMRAW");
    EXPECT_EQ(FILE_type((dashed + "/raw-12").c_str()), 5); // dashes of directories do not count
    write_file(at("kem"), "KEMIMG");
    EXPECT_EQ(FILE_type((dashed + "/none-12").c_str()), -1);
    write_file(at("grid-03"), "KEMSFC");
    EXPECT_EQ(FILE_type(at("grid-03").c_str()), 11); // the name itself first
}

TEST_F(Files, TypeReadsStandardInputWithoutClosingIt) {
    in_child(
        [] {
            EXPECT_EQ(FILE_type("-"), 5);
            char line[KEM_LINE_MAX + 1];
            EXPECT_NE(fcntl(STDIN_FILENO, F_GETFD), -1);
            EXPECT_GE(fgetline(stdin, line), 0);
        },
        "KEMRAW header\nrest\n");
}

TEST_F(Files, TypeNeverFallsBackToStandardInput) {
    // "-03" does not exist; the part before its dash is empty, which would
    // name the standard input: it must not be read.
    in_child(
        [] {
            EXPECT_EQ(FILE_type("-03"), -1);
            EXPECT_EQ(FILE_type("std-03"), -1);
            EXPECT_EQ(ftell(stdin), 0);
        },
        "KEMSFC\n");
}

TEST(FileType, PipesAreClosedWithPclose) {
    in_child([] {
        EXPECT_EQ(FILE_type("|printf KEMUPA"), 12);
        // pclose reaped the command: no child is left behind.
        EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
        EXPECT_EQ(errno, ECHILD);
    });
}

TEST_F(Files, OverwriteAnswersWithoutAskingWhenItCan) {
    write_file(at("f"), "x");
    const std::string f = at("f");
    const std::string missing = at("missing");
    EXPECT_EQ(FILE_overwrite(missing.c_str(), 2), 1);
    EXPECT_EQ(FILE_overwrite("-", 2), 1);
    EXPECT_EQ(FILE_overwrite(nullptr, 2), 1);
    in_child([&] {
        FLAG_set_batch(1);
        EXPECT_EQ(FILE_overwrite(missing.c_str(), 2), 1); // missing: 1 even in batch mode
        EXPECT_EQ(FILE_overwrite(f.c_str(), 2), 3);
    });
    in_child([&] {
        FLAG_set(FLAG_WORD_FILE_PARAM, 2); // "app"
        FLAG_set_batch(1);
        EXPECT_EQ(FILE_overwrite(f.c_str(), 1), 2);
    });
    in_child([&] {
        FLAG_set(FLAG_WORD_FILE_PARAM, KEM_MISSING);
        EXPECT_EQ(FILE_overwrite(f.c_str(), 0), 0);
    });
}

TEST_F(Files, OverwriteDecodesTheAnswer) {
    write_file(at("f"), "x");
    const std::string f = at("f");
    struct Case {
        const char *answer;
        int flag;
        int expected;
    };
    const Case cases[] = {
        {"y\n", 2, 1}, {"Over\n", 2, 1}, {"a\n", 2, 2}, {"App\n", 1, 3},
        {"n\n", 2, 3}, {"use\n", 1, 3},  {"?\n", 2, 3}, {"Yes\n", 1, 1},
    };
    for (const Case &c : cases) {
        auto answer = [&] { return FILE_overwrite(f.c_str(), c.flag); };
        EXPECT_EQ(run_in_child(answer, c.answer).status, c.expected)
            << c.answer << " flag " << c.flag;
    }
}

TEST_F(Files, OverwriteNeverUsesTheNameAsAFormat) {
    const std::string f = at("x%n%s%s%s%n");
    write_file(f, "x");
    EXPECT_EQ(run_in_child([&] { return FILE_overwrite(f.c_str(), 2); }, "o\n").status, 1);
}
