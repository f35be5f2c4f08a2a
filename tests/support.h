/*
 * support.h - scaffolding shared by the tests: scratch directories, whole
 * files, a clean environment, captured output and scenarios run in a
 * forked child.
 *
 * Much of the library keeps process-wide state (the resource store, the
 * flags, the message modes, the table of children), so a scenario that
 * changes it runs in a child: its standard input is fed from a string, its
 * standard output and error are captured, and a failed check inside it
 * fails the test.  Everything here lives in namespace kemtest.
 */
#ifndef KEMTEST_SUPPORT_H
#define KEMTEST_SUPPORT_H

#include "kem.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace kemtest {

/* Files are written as a user with the usual umask would, whatever the
   umask the tests were started with: a defaults file that group or others
   may write is skipped. */
inline const mode_t usual_umask = umask(022);

/* ---------------------------------------------------------------- files */

/* The whole content of `path`; empty when it cannot be read. */
inline std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

/* Writes `text` to `path`, making the directories it names. */
inline void write_file(const std::string &path, const std::string &text) {
    std::filesystem::path file(path);
    std::error_code ignored; /* a directory that cannot be made fails the writing */
    if (file.has_parent_path())
        std::filesystem::create_directories(file.parent_path(), ignored);
    std::ofstream(file, std::ios::binary) << text;
}

/* How often `part` stands in `text`, overlaps included. */
inline size_t count_of(const std::string &text, const std::string &part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

/* How many file descriptors this process holds open. */
inline int open_descriptors() {
    int n = 0;
    for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++n;
    return n - 1; /* the iterator's own */
}

/* A directory of its own under /tmp, removed with everything in it. */
class ScratchDir {
  public:
    ScratchDir() {
        char pattern[] = "/tmp/kemtest-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
            throw std::runtime_error(std::string("mkdtemp: ") + std::strerror(errno));
        dir_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
        if (ec)
            ADD_FAILURE() << "cannot remove " << dir_ << ": " << ec.message();
    }
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;

    const std::string &dir() const { return dir_; }
    std::string path(const std::string &name) const { return dir_ + "/" + name; }

    /* Writes `name` below the directory and gives back its full path. */
    std::string write(const std::string &name, const std::string &text) const {
        write_file(path(name), text);
        return path(name);
    }
    std::string read(const std::string &name) const { return read_file(path(name)); }

  private:
    std::string dir_;
};

/* ---------------------------------------------------------------- environment */

/* Drops every kem* variable, then makes `defaults_path` the defaults search
   path ("kemdefault"): no defaults file or variable of the machine counts. */
inline void clean_environment(const std::string &defaults_path) {
    std::vector<std::string> names;
    for (char **var = environ; var && *var; ++var)
        if (std::strncmp(*var, "kem", 3) == 0)
            names.emplace_back(*var, std::strcspn(*var, "="));
    for (const std::string &name : names)
        unsetenv(name.c_str());
    setenv("kemdefault", defaults_path.c_str(), 1);
}

/* ---------------------------------------------------------------- other users */

/* Two unprivileged users, for what one user's files and windows may do to
   another's; only a test run as root can become them (the others skip). */
constexpr uid_t user_a = 60101;
constexpr uid_t user_b = 60102;

inline bool can_become_users() {
    return geteuid() == 0;
}

/* Makes this process (a child) user `uid`, in a group of the same number
   and no other; false when it cannot. */
inline bool become(uid_t uid) {
    return setgroups(0, nullptr) == 0 && setresgid(uid, uid, uid) == 0 &&
           setresuid(uid, uid, uid) == 0;
}

#define KEMTEST_NEEDS_ROOT()                                                                      \
    do {                                                                                           \
        if (!kemtest::can_become_users())                                                          \
            GTEST_SKIP() << "runs only as root: it becomes two unprivileged users";                \
    } while (0)

/* ---------------------------------------------------------------- captured output */

/* What `body` writes on file descriptor `fd` (1 or 2) of this process. */
template <class Body> std::string capture_fd(int fd, Body body) {
    FILE *stream = fd == 1 ? stdout : stderr;
    ScratchDir scratch;
    std::string file = scratch.path("captured");
    std::fflush(stream);
    int saved = dup(fd);
    int opened = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(opened, fd);
    close(opened);
    body();
    std::fflush(stream);
    dup2(saved, fd);
    close(saved);
    return read_file(file);
}

template <class Body> std::string capture_stdout(Body body) {
    return capture_fd(1, body);
}

/* ---------------------------------------------------------------- scenarios in a child */

/* What a scenario run in a child left behind. */
struct Captured {
    std::string out;
    std::string err;
    int status = -1; /* exit status, or -1 when the child did not exit */
};

namespace detail {

inline void redirect(const std::string &file, int flags, int fd) {
    int opened = open(file.c_str(), flags, 0600);
    if (opened < 0 || dup2(opened, fd) < 0)
        _exit(126);
    close(opened);
}

/* How many checks of the current test have failed so far. */
inline int failed_checks() {
    const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
    int failed = 0;
    for (int i = 0; test && i < test->result()->total_part_count(); ++i)
        failed += test->result()->GetTestPartResult(i).failed();
    return failed;
}

inline Captured run_child(const std::function<int()> &body, const std::string &stdin_text) {
    ScratchDir scratch;
    const std::string in = scratch.write("stdin", stdin_text);
    const std::string out = scratch.path("stdout"), err = scratch.path("stderr");
    const std::string failed = scratch.path("failed");
    const int before = failed_checks();
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        redirect(in, O_RDONLY, 0);
        redirect(out, O_WRONLY | O_CREAT | O_TRUNC, 1);
        redirect(err, O_WRONLY | O_CREAT | O_TRUNC, 2);
        int code = body();
        std::fflush(nullptr);
        if (failed_checks() > before) {
            write_file(failed, "");
            _exit(1);
        }
        _exit(code);
    }
    Captured result;
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) {
        ADD_FAILURE() << "cannot run the child: " << std::strerror(errno);
        return result;
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = read_file(out);
    result.err = read_file(err);
    if (std::filesystem::exists(failed))
        ADD_FAILURE() << "checks failed in the child:\n" << result.out;
    return result;
}

} // namespace detail

/* Runs `body` in a forked child whose standard input holds `stdin_text` and
   whose standard output and error are captured.  The status is what a
   body returning int returns (0 for one returning nothing), or the code
   it exits with; a failed check inside the child fails the test and makes
   the status 1. */
template <class Body> Captured run_in_child(Body body, const std::string &stdin_text = "") {
    if constexpr (std::is_void_v<std::invoke_result_t<Body &>>)
        return detail::run_child(
            [&] {
                body();
                return 0;
            },
            stdin_text);
    else
        return detail::run_child([&] { return static_cast<int>(body()); }, stdin_text);
}

/* The same for a scenario that must end with status 0. */
template <class Body> Captured in_child(Body body, const std::string &stdin_text = "") {
    Captured result = run_in_child(body, stdin_text);
    EXPECT_EQ(result.status, 0) << "child scenario failed\n" << result.err;
    return result;
}

/* ---------------------------------------------------------------- resources */

/* An argument vector that lives until the process ends (the resource
   store keeps referring to it). */
inline char **make_argv(const std::vector<std::string> &words, int *argc) {
    auto **argv = new char *[words.size() + 1];
    int n = 0;
    for (const std::string &word : words)
        argv[n++] = strdup(word.c_str());
    argv[n] = nullptr;
    *argc = n;
    return argv;
}

/* The items RES_getvals gives for `name`. */
inline std::vector<std::string> values_of(const char *name) {
    int count = -1;
    char **items = nullptr;
    int n = RES_getvals(name, &count, &items);
    EXPECT_EQ(n, count);
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i)
        out.emplace_back(items[i]);
    free_parsed_array(count, items);
    return out;
}

using Items = std::vector<std::string>;

/* The station lookup program's option lists. */
constexpr res_type city_keyed[] = {RES_help,      RES_batch,      RES_message, RES_file_path,
                                   RES_city_file, RES_stat_prior, RES_input,   RES_output,
                                   RES_parameter, RES_null};
constexpr res_type city_positional[] = {RES_values, RES_null};

/* The help of the station lookup program, after its purpose line. */
constexpr const char *city_help = "kemcity syntax (version:5.60.4-LINUX-X11)\n"
                                  "   kemcity [options...]\n"
                                  "Keyed options...\n"
                                  " -df file    Resource/defaults file name\n"
                                  " -na name    Program name\n"
                                  " -h          Print this help\n"
                                  " -ba         Run program in batch mode\n"
                                  " -me level   Message level to be displayed:\n"
                                  "               none,print,error,warn,mess,out1,*out2,out3,"
                                  "out4,debug\n"
                                  " -fp path    File path\n"
                                  " -cf file    City database file name\n"
                                  " -pr prior   Priority of stations used in the plot\n"
                                  " -in type    Type of input\n"
                                  " -ou type    Type of output\n"
                                  " -pa param[,...]  Program parameters\n"
                                  "Positional options...\n"
                                  " val1 val2 ...  Input values:\n";

} // namespace kemtest

#endif
