// Tests of the display-window link: a client in a child process talks to a
// stand-in window in another, over queues and over sockets.
#include "loop_window.h"

#include <arpa/inet.h>
#include <chrono>
#include <fstream>
#include <netinet/in.h>
#include <sys/msg.h>
#include <sys/socket.h>

using kemtest::LoopWindow;
using kemtest::window_offset;

namespace {

void use_transport(bool sockets) {
    MQ_settype(sockets ? 1 : 0);
    MQ_offset(window_offset());
}

std::vector<std::string> flags_for(bool sockets) {
    return sockets ? std::vector<std::string>{"-s"} : std::vector<std::string>{};
}

int open_fds() {
    return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                          std::filesystem::directory_iterator()));
}

class Link : public ::testing::TestWithParam<bool> {};

TEST_P(Link, FirstClientIsThreeAndTextsOf118CharactersTravelWhole) {
    LoopWindow window(1, flags_for(GetParam()));
    kemtest::in_child([&] {
        use_transport(GetParam());
        int q = MQ_open(1);
        ASSERT_GE(q, 0);
        int conn = MQ_connect(q);
        EXPECT_EQ(conn, 3);
        const std::string text(118, 'x');
        char item[124] = "";
        // A socket frame of L = 119 is 120 bytes; a queue send answers 0.
        EXPECT_EQ(MQ_put(q, conn, "%s", text.c_str()), GetParam() ? 120 : 0);
        EXPECT_EQ(MQ_get(q, conn, item), 1);
        EXPECT_EQ(item, text);
        MQ_put(q, conn, "%s%s", text.c_str(), "cut");
        EXPECT_EQ(MQ_get(q, conn, item), 1);
        EXPECT_EQ(item, text);
        MQ_put(q, conn, "status -3");
        EXPECT_EQ(MQ_get(q, conn, item), -3);
        EXPECT_STREQ(item, "status -3");
        EXPECT_EQ(MQ_clear(q, conn), GetParam() ? 0 : -1);
    });
}

TEST_P(Link, TwentiethSimultaneousConnectionIsNotAnswered) {
    LoopWindow window(2, flags_for(GetParam()));
    kemtest::Captured run = kemtest::run_in_child([&] {
        use_transport(GetParam());
        int q = MQ_open(2);
        for (int conn = 3; conn <= 21; ++conn)
            EXPECT_EQ(MQ_connect(q), conn);
        if (::testing::Test::HasFailure())
            return 1; /* the handler's _exit below would hide the failure */
        MQ_timeout(1);
        MQ_timeout_func([](int) { _exit(42); });
        MQ_connect(q);
        return 0;
    });
    EXPECT_EQ(run.status, 42);
}

TEST_P(Link, FindSkipsTakenWindowsAndLeavesNoSocketOpen) {
    LoopWindow w0(0, flags_for(GetParam())), w1(1, flags_for(GetParam())),
        w2(2, flags_for(GetParam()));
    kemtest::in_child([&] {
        use_transport(GetParam());
        int before = open_fds();
        EXPECT_EQ(MQ_find(0), 3);
        EXPECT_EQ(MQ_find(1), 3);
        EXPECT_EQ(open_fds(), before);
    });
}

/* The end of a conversation gives the connection back: a client that says
   "quit" and connects again gets connection 3 again. */
TEST_P(Link, AConnectionEndedByQuitIsGivenAgain) {
    LoopWindow window(7, flags_for(GetParam()));
    kemtest::in_child([&] {
        use_transport(GetParam());
        int q = MQ_open(7);
        ASSERT_GE(q, 0);
        for (int round = 1; round <= 2; ++round) {
            int conn = MQ_connect(q);
            ASSERT_EQ(conn, 3) << "round " << round;
            char item[124] = "";
            MQ_put(q, conn, "quit");
            EXPECT_EQ(MQ_get(q, conn, item), -2);
            EXPECT_STREQ(item, "bye");
        }
    });
}

/* The last connection a window gives, the nineteenth at once, is served
   like the first. */
TEST_P(Link, TheLastConnectionIsServedLikeTheFirst) {
    LoopWindow window(8, flags_for(GetParam()));
    kemtest::in_child([&] {
        use_transport(GetParam());
        MQ_timeout(2);
        int q = MQ_open(8);
        int conn = -1;
        for (int n = 1; n <= 19; ++n)
            conn = MQ_connect(q);
        ASSERT_EQ(conn, 21);
        char item[124] = "";
        MQ_put(q, conn, "hello");
        EXPECT_EQ(MQ_get(q, conn, item), 1);
        EXPECT_STREQ(item, "hello");
    });
}

INSTANTIATE_TEST_SUITE_P(Transports, Link, ::testing::Values(false, true),
                         [](const auto &param) { return param.param ? "Sockets" : "Queues"; });

TEST(Link, UnansweredQueueReceiveEndsWithStatus7AfterTheParameterTimeout) {
    LoopWindow window(3, {});
    auto start = std::chrono::steady_clock::now();
    kemtest::Captured run = kemtest::run_in_child([] {
        use_transport(false);
        RES_put("parameter", "to=5,to=0");
        MQ_params();
        int q = MQ_open(3);
        int conn = MQ_connect(q);
        char item[124];
        MQ_get(q, conn, item); // nothing was asked: no answer comes
        return 0;
    });
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(run.status, 7);
    EXPECT_EQ(run.err, "Queue not responding!!\n");
    EXPECT_GT(secs, 4.5);
    EXPECT_LT(secs, 9.0);
}

TEST(Link, ServerRefusesBadConnectionNumbersAndKeyZero) {
    kemtest::in_child([] {
        use_transport(false);
        int q = MQ_create(5);
        ASSERT_GE(q, 0);
        // A request from a number this server never gives is dropped.
        mqueuebuf bad = {1, "z forged"};
        msgsnd(q, &bad, 120, 0);
        int conn = 99;
        char item[124] = "?";
        EXPECT_EQ(MQ_sget(q, &conn, item), 0);
        EXPECT_EQ(conn, -1);
        EXPECT_STREQ(item, "");
        for (int id : {1, 3, 22, 1000, -5})
            EXPECT_EQ(MQ_sput(q, id, 1, "x"), -1) << id;
        MQ_del(q);
        MQ_offset(0);
        EXPECT_EQ(MQ_open(0), -2);
        EXPECT_EQ(MQ_create(0), -1);
    });
}

// Raw socket clients of a socket window.
class SocketFrames : public ::testing::Test {
  protected:
    int connect_window(int num) {
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr = {};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(window_offset() + num));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
        return fd;
    }
    static std::string reply(int fd) {
        char buf[256];
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        return n > 0 ? std::string(buf, static_cast<size_t>(n)) : "";
    }
};

TEST_F(SocketFrames, BadLengthsDropTheClientAndPiecesMakeOneFrame) {
    LoopWindow window(4, {"-s"});
    const struct {
        std::string frame;
        std::string answer;
    } cases[] = {{std::string("\x00", 1), ""},
                 {"\x79" + std::string(121, '3'), ""},
                 {"\xF0/", ""},
                 {"\x02/0", std::string("\x02\x32\x33", 3)}};
    for (const auto &c : cases) {
        int fd = connect_window(4);
        for (char byte : c.frame) { // one byte at a time
            send(fd, &byte, 1, MSG_NOSIGNAL);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        EXPECT_EQ(reply(fd), c.answer) << static_cast<int>(c.frame[0]);
        close(fd);
    }
}

TEST_F(SocketFrames, IdleClientYieldsToTheNextAfterFiveSeconds) {
    LoopWindow window(7, {"-s"});
    int idle = connect_window(7); // sends nothing, ever
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // served first
    auto start = std::chrono::steady_clock::now();
    kemtest::in_child([] {
        use_transport(true);
        int q = MQ_open(7);
        ASSERT_EQ(q, 1);
        EXPECT_EQ(MQ_connect(q), 3);
    });
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GT(secs, 4.0);
    EXPECT_LT(secs, 9.0);
    EXPECT_EQ(reply(idle), ""); // dropped: the stream ends
    close(idle);
    // A lone client may stay silent longer: nobody else waits for the window.
    int lone = connect_window(7);
    std::this_thread::sleep_for(std::chrono::milliseconds(5500));
    send(lone, "\x02/0", 3, MSG_NOSIGNAL);
    EXPECT_EQ(reply(lone), std::string("\x02\x32\x34", 3)); // status 2, connection 4
    close(lone);
}

TEST(Link, SocketWindowListensOnLoopbackOnly) {
    LoopWindow window(6, {"-s"});
    char port[8];
    std::snprintf(port, sizeof port, ":%04X", window_offset() + 6);
    std::ifstream tcp("/proc/net/tcp");
    std::string line, local;
    while (std::getline(tcp, line))
        if (line.find(std::string(port) + " 00000000:0000 0A") != std::string::npos)
            local = line.substr(line.find(':') + 2, 8);
    EXPECT_EQ(local, "0100007F");
}

} // namespace
