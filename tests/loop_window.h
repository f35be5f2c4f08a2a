/*
 * loop_window.h - runs the stand-in display window (loop_window) for the
 * link tests: one process per window, started on the window numbers of
 * this test process (an offset derived from its pid, so parallel runs
 * never meet) and stopped, its queue removed, when the object goes.
 */
#ifndef KEMTEST_LOOP_WINDOW_H
#define KEMTEST_LOOP_WINDOW_H

#include "support.h"

#include <chrono>
#include <csignal>
#include <thread>

namespace kemtest {

/* Window numbers 0 to 19 of this test process (and of the children it
   forks) become keys and ports of its own. */
inline int window_offset() {
    static const int offset = 10000 + static_cast<int>(getpid() % 1100) * 20;
    return offset;
}

class LoopWindow {
  public:
    /* Starts window `num`; `table` holds its lines NAME=VALUE; `flags` are
       further options of the program ("-s" sockets, "-n" no line ends).
       With `user` (a root test only) the window is that user's. */
    LoopWindow(int num, const std::vector<std::string> &flags, const std::string &table = "",
               int user = -1) {
        std::vector<std::string> args{KEM_WINDOW_BIN,
                                      "-o",
                                      std::to_string(window_offset()),
                                      "-t",
                                      scratch_.write("table", table),
                                      "-d",
                                      scratch_.path("dump"),
                                      "-r",
                                      scratch_.path("ready")};
        args.insert(args.end(), flags.begin(), flags.end());
        args.push_back(std::to_string(num));
        if (user >= 0 && chown(scratch_.dir().c_str(), user, user) != 0)
            ADD_FAILURE() << "cannot hand the window's directory over: " << std::strerror(errno);
        std::fflush(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            if (user >= 0 && !become(user))
                _exit(126);
            std::vector<char *> argv;
            for (auto &arg : args)
                argv.push_back(arg.data());
            argv.push_back(nullptr);
            execv(KEM_WINDOW_BIN, argv.data());
            _exit(127);
        }
        for (int i = 0; i < 1000 && !std::filesystem::exists(scratch_.path("ready")); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_TRUE(std::filesystem::exists(scratch_.path("ready"))) << "window " << num;
    }
    ~LoopWindow() { stop(); }
    LoopWindow(const LoopWindow &) = delete;
    LoopWindow &operator=(const LoopWindow &) = delete;

    /* Stops the window; its exit status. */
    int stop() {
        if (pid_ <= 0)
            return status_;
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return status_;
    }
    /* The window's table as it wrote it last, lines NAME=VALUE. */
    std::string dump() const { return scratch_.read("dump"); }

  private:
    ScratchDir scratch_;
    pid_t pid_ = -1;
    int status_ = -1;
};

} // namespace kemtest

#endif
