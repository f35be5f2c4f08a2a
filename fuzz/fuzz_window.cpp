/*
 * fuzz_window.cpp - the start-up exchange with a display window, from the
 * client's side.
 *
 * A fake window listens on a loopback port of the harness's own; for each
 * input it takes the connection start-up makes for "-df #7" and answers
 * with the input's bytes (status codes, lengths, values with '|', NUL or
 * line ends, anything).  An input whose first byte is even is the answer
 * after that byte, sent once and then the end of the stream.  When it is
 * odd, the second byte N says how many of the bytes after it are sent
 * once; the rest is sent over and over, until the client hangs up.
 * Checked: the exchange ends within its bounds (the link's time-out is
 * 2 s, so three time-outs and a margin), nothing a window sends is stored
 * where it could name a command, and nothing is opened as a command (the
 * sandbox stops a popen).  Nothing leaves the machine: both ends are on
 * 127.0.0.1.
 */
#include "sandbox.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <thread>

namespace {

constexpr int window_number = 7;
constexpr int timeout_s = 2;
constexpr double longest_s = 3 * timeout_s + 2.0;

/* kemcity's options less the message setting, whose file items would
   write wherever a window's value says. */
const res_type keyed[] = {RES_help,   RES_batch,  RES_file_path, RES_city_file, RES_stat_prior,
                          RES_input,  RES_output, RES_parameter, RES_null};
const res_type positional[] = {RES_values, RES_null};

int listener = -1;

/* A window's socket on the first free port of a range that depends on the
   process; the link adds the window number to the offset. */
void start_listener() {
    for (int i = 0; i < 200 && listener < 0; ++i) {
        int port = 20000 + (getpid() * 11 + i) % 40000;
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr = {};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0 &&
            listen(fd, 4) == 0) {
            listener = fd;
            MQ_settype(1);
            MQ_offset(port - window_number);
        } else if (fd >= 0) {
            close(fd);
        }
    }
    if (listener < 0)
        std::abort();
    MQ_timeout(timeout_s);
}

/* Serves one connection: the answer once or over and over, everything the
   client says read and dropped, until the client hangs up.  The close
   resets the connection, so that no socket lingers from run to run. */
void serve(std::string_view once, std::string_view again) {
    pollfd pfd = {listener, POLLIN, 0};
    if (poll(&pfd, 1, 10000) != 1)
        return; /* the client never came: it found the window refused */
    int fd = accept(listener, nullptr, nullptr);
    if (fd < 0)
        return;
    std::string_view answer = once;
    size_t sent = 0;
    bool writing = true;
    for (;;) {
        pollfd both = {fd, static_cast<short>(POLLIN | (writing ? POLLOUT : 0)), 0};
        if (poll(&both, 1, 10000) != 1)
            break;
        if (both.revents & (POLLIN | POLLHUP | POLLERR)) {
            char drop[512];
            if (recv(fd, drop, sizeof drop, 0) <= 0)
                break; /* hung up */
        }
        if (writing && (both.revents & POLLOUT)) {
            ssize_t n = answer.empty() ? 0
                                       : send(fd, answer.data() + sent, answer.size() - sent,
                                              MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && errno != EAGAIN)
                break;
            sent += n > 0 ? static_cast<size_t>(n) : 0;
            if (sent == answer.size()) {
                sent = 0;
                answer = again;
                if (answer.empty()) {
                    shutdown(fd, SHUT_WR);
                    writing = false;
                }
            }
        }
    }
    linger reset = {1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    close(fd);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (listener < 0)
        start_listener();
    std::string_view once(reinterpret_cast<const char *>(data), size);
    std::string_view again;
    if (size >= 2 && (data[0] & 1) != 0) {
        once.remove_prefix(2);
        again = once.substr(std::min<size_t>(data[1], once.size()));
        once = once.substr(0, std::min<size_t>(data[1], once.size()));
    } else if (size > 0) {
        once.remove_prefix(1);
    }
    std::thread window(serve, once, again);

    std::vector<std::string> words = {"kemcity", "-df", "#" + std::to_string(window_number)};
    std::vector<char *> argv = fuzz::pointers(words);
    auto start = std::chrono::steady_clock::now();
    RES_init(static_cast<int>(words.size()), argv.data(), keyed, positional);
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    window.join();
    if (secs > longest_s) {
        std::fprintf(stderr, "window: the exchange took %.1f s\n", secs);
        std::abort();
    }
    for (const res_obj *rec = res_first_record(); rec != nullptr; rec = rec->next)
        if (rec->data != nullptr && std::strchr(rec->data, '|') != nullptr) {
            std::fprintf(stderr, "window: stored %s=%s\n", rec->name ? rec->name : "", rec->data);
            std::abort();
        }
    fuzz::reset();
    return 0;
}
