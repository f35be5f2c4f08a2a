/*
 * kemcity_run.h - runs the built kemcity like a user, for end-to-end tests.
 *
 * Every test gets its own scratch directory, which is the program's working
 * directory and its whole defaults search path ("kemdefault"), and a clean
 * environment: no defaults file or variable of the machine can change a
 * result.  A run gives back the exact standard output, standard error and
 * exit status.
 */
#ifndef KEMCITY_RUN_H
#define KEMCITY_RUN_H

#include "support.h"

#include <algorithm>

#include <string>
#include <vector>

using RunResult = kemtest::Captured;

/* The banner that the message level mess and above show first. */
inline const char *const banner = "      CITY DETERMINATION PROGRAM (Ver 5.60.4-LINUX-X11)\n\n";

/* A run that printed exactly `out`, nothing on standard error, and ended well. */
inline void expect_output(const RunResult &result, const std::string &out) {
    EXPECT_EQ(result.out, out);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 0);
}

/* A run that printed exactly `out`, warned exactly `err`, and ended well. */
inline void expect_warned(const RunResult &result, const std::string &out,
                          const std::string &err) {
    EXPECT_EQ(result.out, out);
    EXPECT_EQ(result.err, err);
    EXPECT_EQ(result.status, 0);
}

class KemcityTest : public ::testing::Test {
  protected:
    const std::string &dir() const { return scratch_.dir(); }

    /* The runs after this one are user `uid`'s, in the scratch directory
       that then belongs to that user (root tests only). */
    void run_as(uid_t uid) {
        ASSERT_EQ(chown(dir().c_str(), uid, uid), 0) << std::strerror(errno);
        user_ = static_cast<int>(uid);
    }

    /* Writes a file below the scratch directory, making its directories. */
    void write(const std::string &name, const std::string &content) {
        scratch_.write(name, content);
    }

    static std::string fixture(const std::string &name) {
        return kemtest::read_file(std::string(KEM_TEST_DATA) + "/" + name);
    }

    /* Copies a fixture of tests/data into the scratch directory. */
    void copy_fixture(const std::string &name, const std::string &as = "") {
        write(as.empty() ? name : as, fixture(name));
    }

    /* Runs kemcity with the arguments, in the scratch directory, with
       "kemdefault" and the given extra variables as its whole environment;
       an extra "kemdefault=..." replaces the scratch directory. */
    RunResult run(const std::vector<std::string> &args, const std::vector<std::string> &env = {},
                  const std::string &input = "") {
        std::vector<std::string> envs = env;
        bool own_path = std::any_of(env.begin(), env.end(), [](const std::string &var) {
            return var.rfind("kemdefault=", 0) == 0;
        });
        if (!own_path)
            envs.push_back("kemdefault=" + dir());
        for (const char *name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
            if (const char *value = getenv(name))
                envs.push_back(std::string(name) + "=" + value);
        return kemtest::run_in_child([&] { exec_kemcity(args, envs); }, input);
    }

  private:
    [[noreturn]] void exec_kemcity(const std::vector<std::string> &args,
                                   const std::vector<std::string> &envs) const {
        if ((user_ >= 0 && !kemtest::become(static_cast<uid_t>(user_))) || chdir(dir().c_str()) != 0)
            _exit(126);
        std::vector<char *> argv{const_cast<char *>(KEMCITY_BIN)};
        for (const auto &arg : args)
            argv.push_back(const_cast<char *>(arg.c_str()));
        argv.push_back(nullptr);
        std::vector<char *> envp;
        for (const auto &var : envs)
            envp.push_back(const_cast<char *>(var.c_str()));
        envp.push_back(nullptr);
        execve(KEMCITY_BIN, argv.data(), envp.data());
        _exit(127);
    }

    kemtest::ScratchDir scratch_;
    int user_ = -1; /* -1: the runs are this process's user's */
};

#endif
