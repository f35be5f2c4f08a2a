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

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct RunResult {
    std::string out;
    std::string err;
    int status = -1; /* exit status, or -1 when the program did not exit */
};

class KemcityTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kemcity-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    const std::string &dir() const { return dir_; }

    /* Writes a file below the scratch directory, making its directories. */
    void write(const std::string &name, const std::string &content) {
        std::filesystem::path path = std::filesystem::path(dir_) / name;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
    }

    static std::string fixture(const std::string &name) {
        std::ifstream in(std::string(KEM_TEST_DATA) + "/" + name, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    /* Copies a fixture of tests/data into the scratch directory. */
    void copy_fixture(const std::string &name, const std::string &as = "") {
        write(as.empty() ? name : as, fixture(name));
    }

    /* Runs kemcity with the arguments, in the scratch directory, with
       "kemdefault" and the given extra variables as its whole environment. */
    RunResult run(const std::vector<std::string> &args, const std::vector<std::string> &env = {},
                  const std::string &input = "") {
        std::string out_file = dir_ + "/.stdout", err_file = dir_ + "/.stderr";
        std::string in_file = dir_ + "/.stdin";
        write(".stdin", input);
        std::vector<std::string> envs = {"kemdefault=" + dir_};
        for (const char *name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
            if (const char *value = getenv(name))
                envs.push_back(std::string(name) + "=" + value);
        envs.insert(envs.end(), env.begin(), env.end());

        pid_t pid = fork();
        if (pid == 0)
            exec_child(args, envs, in_file, out_file, err_file);
        int wstatus = 0;
        waitpid(pid, &wstatus, 0);
        RunResult result;
        result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
        result.out = read_file(out_file);
        result.err = read_file(err_file);
        std::filesystem::remove(out_file);
        std::filesystem::remove(err_file);
        std::filesystem::remove(in_file);
        return result;
    }

  private:
    [[noreturn]] void exec_child(const std::vector<std::string> &args,
                                 const std::vector<std::string> &envs, const std::string &in,
                                 const std::string &out, const std::string &err) {
        if (chdir(dir_.c_str()) != 0)
            _exit(126);
        redirect(in, O_RDONLY, 0);
        redirect(out, O_WRONLY | O_CREAT | O_TRUNC, 1);
        redirect(err, O_WRONLY | O_CREAT | O_TRUNC, 2);
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

    static void redirect(const std::string &file, int flags, int fd) {
        int opened = open(file.c_str(), flags, 0644);
        if (opened < 0 || dup2(opened, fd) < 0)
            _exit(126);
        close(opened);
    }

    static std::string read_file(const std::string &file) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string dir_;
};

#endif
