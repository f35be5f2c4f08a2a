/*
 * Helpers shared by the resource tests: child-process scenarios (the
 * store and the flags are process-wide), scratch directories, a clean
 * environment and captured standard output.
 */
#ifndef RESRC_SUPPORT_H
#define RESRC_SUPPORT_H

#include "kem.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace resrc_test {

/* Runs `body` in a forked child; the test fails when any check there fails. */
template <class Body> void in_child(Body body) {
    /* Only failures of this child count, not those the parent had before. */
    const ::testing::TestResult *result =
        ::testing::UnitTest::GetInstance()->current_test_info()->result();
    const int before = result->total_part_count();
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        body();
        bool failed = false;
        for (int i = before; i < result->total_part_count(); ++i)
            failed = failed || result->GetTestPartResult(i).failed();
        std::fflush(stdout);
        _exit(failed ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child scenario failed";
}

/* A directory of its own under /tmp, removed with everything in it. */
class Scratch {
  public:
    Scratch() {
        char pattern[] = "/tmp/resrc_XXXXXX";
        const char *made = mkdtemp(pattern);
        EXPECT_NE(made, nullptr);
        dir_ = made ? made : "/tmp";
    }
    ~Scratch() {
        std::error_code ignored;
        if (dir_ != "/tmp")
            std::filesystem::remove_all(dir_, ignored);
    }
    Scratch(const Scratch &) = delete;
    Scratch &operator=(const Scratch &) = delete;

    const std::string &dir() const { return dir_; }
    std::string path(const std::string &name) const { return dir_ + "/" + name; }

    /* Writes `text` to `name` (a sub-directory is made when named). */
    std::string write(const std::string &name, const std::string &text) const {
        std::filesystem::path file = path(name);
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file) << text;
        return file.string();
    }

  private:
    std::string dir_;
};

/* Drops every kem* variable, then lets the defaults search path be `path`. */
inline void clean_environment(const std::string &path) {
    std::vector<std::string> names;
    for (char **var = environ; var && *var; ++var)
        if (std::strncmp(*var, "kem", 3) == 0)
            names.emplace_back(*var, std::strcspn(*var, "="));
    for (const std::string &name : names)
        unsetenv(name.c_str());
    setenv("kemdefault", path.c_str(), 1);
}

/* An argument vector that lives until the process ends (the store keeps
   referring to it). */
inline char **make_argv(const std::vector<std::string> &words, int *argc) {
    auto **argv = new char *[words.size() + 1];
    int n = 0;
    for (const std::string &word : words)
        argv[n++] = strdup(word.c_str());
    argv[n] = nullptr;
    *argc = n;
    return argv;
}

/* What `body` writes on file descriptor `fd` (1 or 2). */
template <class Body> std::string capture_fd(int fd, Body body) {
    std::fflush(fd == 1 ? stdout : stderr);
    char name[] = "/tmp/resrc_out_XXXXXX";
    int file = mkstemp(name);
    int saved = dup(fd);
    dup2(file, fd);
    body();
    std::fflush(fd == 1 ? stdout : stderr);
    dup2(saved, fd);
    close(saved);
    close(file);
    std::ifstream in(name);
    std::stringstream text;
    text << in.rdbuf();
    unlink(name);
    return text.str();
}

template <class Body> std::string capture_stdout(Body body) {
    return capture_fd(1, body);
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

} // namespace resrc_test

#endif
