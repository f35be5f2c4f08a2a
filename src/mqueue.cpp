/*
 * mqueue.cpp - the message link to a window of the looping display program
 * (MQ_).
 *
 * A window is reached by number, over one of two transports chosen for the
 * whole process: a System V message queue whose key is the offset plus the
 * window number, or a TCP connection to that port on the loopback address.
 * Both carry one logical message: a code character ('0' plus a small
 * number: the sender's connection number from a client, a status from the
 * server) followed by at most 118 characters of text.  On a queue every
 * message is a 120-byte record typed 1 (to the server), 2 (connection
 * answers) or the client's connection number; on a socket it is a frame of
 * a length byte L, the code character and L-1 bytes of text.
 *
 * Any local user can make a queue of any key or listen on any loopback
 * port, so a client takes a window only when it is the user's own or
 * root's: a queue whose owner and creator are the user or root and that
 * grants group and others nothing; a socket whose other end belongs to
 * the user or root, as the kernel's table of TCP sockets (/proc/net/tcp)
 * tells for the connection's address pair.  A server serves one socket
 * client at a time and drops one that has sent nothing for five seconds
 * when another is waiting.
 *
 * Owns the transport, offset, time-out and alarm handler, the last queue
 * found, the client's or server's sockets and the server's connection
 * slots.  Failures are result codes (-1, -2 for a queue look-up that
 * failed for a reason other than absence, -3 for a window that is not the
 * user's); a queue that does not answer in time raises the alarm, whose
 * default handler ends the process with status 7.  Peer input is never
 * trusted: frames are length-checked and connection numbers range-checked
 * before they are used.
 */
#include "kem.h"
#include "mq_link.h"
#include "trust.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/msg.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr M_type debug = M_debug & 0x80000000u;
constexpr size_t record_size = 120; // bytes of mtext in every send and receive
constexpr int text_max = 118;       // text characters in one message
constexpr int frame_max = 120;      // largest L of a socket frame
constexpr int first_conn = 3;       // connection numbers 3 to 21 ...
constexpr int last_conn = 21;
constexpr int answer_conn = 2; // ... and 2 for connection answers
constexpr int slots = 25;
constexpr int frame_wait_ms = 5000; // a started frame must arrive whole by then
constexpr int idle_limit_ms = 5000; // a client silent this long yields to one waiting

struct LinkState {
    int type = 0;   // 0 message queues, 1 sockets
    int offset = 0; // added to window numbers: queue key or port
    int timeout = 20;
    MQ_handler to_func = nullptr;
    struct sigaction top_func = {};
    int msgqid = -1;
    mqueuebuf msgb = {};
    int sock1 = -1;    // client: connected socket; server: listening socket
    int sock2 = -1;    // server: the accepted client
    long heard_ms = 0; // server: when the client was accepted or last sent a frame
    int conn[slots] = {};
};

LinkState state;

bool sockets() {
    return state.type == 1;
}

char code_char(int value) {
    return static_cast<char>('0' + value);
}

// Formats a message text, cut at 118 characters.
void format_text(char *text, const char *format, va_list args) {
    text[0] = '\0';
    if (format != nullptr)
        std::vsnprintf(text, text_max + 1, format, args);
}

void close_fd(int &fd) {
    if (fd >= 0)
        close(fd);
    fd = -1;
}

void install_alarm(MQ_handler handler) {
    struct sigaction act = {};
    act.sa_handler = handler;
    sigemptyset(&act.sa_mask);
    sigaction(SIGALRM, &act, &state.top_func);
}

// The text after a record's code character into a 120-byte buffer.
void copy_text(char *item, const char *mtext) {
    const char *text = mtext[0] ? mtext + 1 : mtext;
    size_t len = strnlen(text, record_size - 1);
    std::memcpy(item, text, len);
    item[len] = '\0';
}

bool valid_port(long port) {
    return port > 0 && port < 65536;
}

sockaddr_in loopback(int port) {
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return addr;
}

long now_ms() {
    timespec ts = {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void pause_ms(long ms) {
    timespec pause = {ms / 1000, ms % 1000 * 1000000};
    while (ms > 0 && nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

/* ---- socket frames ----------------------------------------------------- */

bool send_all(int fd, const char *data, size_t len) {
    while (len > 0) {
        ssize_t sent = send(fd, data, len, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        data += sent;
        len -= static_cast<size_t>(sent);
    }
    return true;
}

// Reads exactly `len` bytes; `wait_ms` < 0 waits as long as it takes.
// 1 when read, 0 when the peer closed before the first byte, -1 otherwise.
int recv_all(int fd, char *data, size_t len, int wait_ms) {
    size_t got = 0;
    while (got < len) {
        pollfd pfd = {fd, POLLIN, 0};
        int ready = poll(&pfd, 1, wait_ms);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return -1;
        ssize_t n = recv(fd, data + got, len - got, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            return got == 0 ? 0 : -1;
        if (n < 0)
            return -1;
        got += static_cast<size_t>(n);
    }
    return 1;
}

int send_frame(int fd, int code, const char *text) {
    if (fd < 0)
        return -1;
    char frame[frame_max + 1];
    size_t len = std::strlen(text);
    frame[0] = static_cast<char>(len + 1);
    frame[1] = code_char(code);
    std::memcpy(frame + 2, text, len);
    int total = static_cast<int>(len + 2);
    int result = send_all(fd, frame, len + 2) ? total : -1;
    MESS_print(debug, "Send: %d %d %d => %s\n", result, frame[0], frame[1], text);
    return result;
}

// Reads one frame: its code character into *code and its text into `text`
// (at least 120 bytes), waiting `wait_ms` for its first byte and
// `body_ms` for the rest.  1, 0 when the peer closed, -1 on a failure or a
// frame whose length byte is out of range.
int recv_frame(int fd, char *code, char *text, int wait_ms, int body_ms = frame_wait_ms) {
    text[0] = '\0';
    signed char len = 0;
    int got = recv_all(fd, reinterpret_cast<char *>(&len), 1, wait_ms);
    if (got <= 0)
        return got;
    if (len < 1 || len > frame_max)
        return -1;
    char body[frame_max];
    if (recv_all(fd, body, static_cast<size_t>(len), body_ms) != 1)
        return -1;
    *code = body[0];
    std::memcpy(text, body + 1, static_cast<size_t>(len - 1));
    text[len - 1] = '\0';
    MESS_print(debug, "Received: %d %d %d => %s\n", len + 1, len, body[0], text);
    return 1;
}

/* ---- queue records ----------------------------------------------------- */

int send_record(int msgqid, long mtype, int code, const char *text) {
    mqueuebuf buf = {};
    buf.mtype = mtype;
    buf.mtext[0] = code_char(code);
    std::snprintf(buf.mtext + 1, record_size - 1, "%s", text);
    return msgsnd(msgqid, &buf, record_size, 0);
}

ssize_t receive_record(int msgqid, long mtype, mqueuebuf *buf) {
    ssize_t got = msgrcv(msgqid, buf, record_size, mtype, IPC_NOWAIT);
    buf->mtext[record_size - 1] = '\0';
    if (got < 0)
        buf->mtext[0] = '\0';
    return got;
}

// Sleep after the given try of a queue receive.
void pause_after(int tries) {
    if (tries > 200)
        KEM_sleep(1.0f);
    else if (tries > 2)
        KEM_sleep(0.1f);
}

int queue_get(int msgqid, int conn_id, char *item) {
    mqueuebuf buf = {};
    MQ_enable_alarm();
    ssize_t got;
    int tries = 0;
    do {
        got = receive_record(msgqid, conn_id, &buf);
        int err = got < 0 ? errno : 0;
        MESS_print(debug, "GET-MSG:%d %d %d %d\n", conn_id, static_cast<int>(got), err, tries);
        pause_after(++tries);
        errno = err;
    } while (got < 0 && errno == ENOMSG);
    MQ_disable_alarm();
    if (got < 0) {
        item[0] = '\0';
        return -1;
    }
    MESS_print(debug, "GET:%s\n", buf.mtext);
    copy_text(item, buf.mtext);
    return buf.mtext[0] - '0';
}

/* ---- server ------------------------------------------------------------ */

// Accepts a waiting client when none is being served.  1 when a client is
// there, 0 when none is waiting, -1 on a failure.
int accept_client() {
    if (state.sock2 >= 0)
        return 1;
    sockaddr_in peer = {};
    socklen_t size = sizeof peer;
    state.sock2 = accept(state.sock1, reinterpret_cast<sockaddr *>(&peer), &size);
    if (state.sock2 < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        MESS_print(debug, "Accept failed\n");
        std::perror("accept");
        return -1;
    }
    int blocking = 0;
    ioctl(state.sock2, FIONBIO, &blocking);
    state.heard_ms = now_ms();
    MESS_print(debug, "Connection made from %X on port %d\n", ntohl(peer.sin_addr.s_addr),
               ntohs(peer.sin_port));
    return 1;
}

bool readable(int fd) {
    pollfd pfd = {fd, POLLIN, 0};
    return poll(&pfd, 1, 0) > 0;
}

// One client at a time is served: a client that has sent nothing for a
// while is dropped when another is waiting, so that an idle connection
// never keeps the window from everyone else.
int socket_sget(char *code, char *item) {
    int ready = accept_client();
    if (ready <= 0)
        return ready;
    if (!readable(state.sock2)) {
        if (now_ms() - state.heard_ms >= idle_limit_ms && readable(state.sock1)) {
            MESS_print(debug, "Idle client dropped\n");
            close_fd(state.sock2);
        }
        return 0;
    }
    int got = recv_frame(state.sock2, code, item, 0);
    if (got == 0)
        MESS_print(debug, "Client disconnect\n");
    if (got <= 0) // a closed or garbled stream: the next call serves a new client
        close_fd(state.sock2);
    else
        state.heard_ms = now_ms();
    return got <= 0 ? -1 : 1;
}

int queue_sget(int msgqid, char *code, char *item) {
    item[0] = '\0';
    ssize_t got = receive_record(msgqid, 1, &state.msgb);
    if (got <= 0)
        return static_cast<int>(got);
    MESS_print(debug, "SGET:%s\n", state.msgb.mtext);
    *code = state.msgb.mtext[0];
    copy_text(item, state.msgb.mtext);
    return 1;
}

// Gives the lowest free connection number to a connection request.
int answer_connection(int msgqid, int *conn_id, char *item) {
    item[0] = '\0';
    for (int i = 1; i <= last_conn - 2; ++i) {
        if (state.conn[i] != 0)
            continue;
        state.conn[0] = 1;
        MQ_sput(msgqid, answer_conn, 2, "%d", i + 2);
        state.conn[0] = 0;
        state.conn[i] = 1;
        *conn_id = i + 2;
        break;
    }
    return 2;
}

} // namespace

extern "C" {

/* ---- configuration ----------------------------------------------------- */

int MQ_timeout(int val) {
    if (val > 0) // 0 would switch the alarm off and let a receive wait forever
        state.timeout = val;
    return 0;
}

int MQ_timeout_func(MQ_handler func) {
    state.to_func = func;
    return 0;
}

int MQ_offset(int ind) {
    state.offset = ind;
    return 0;
}

int MQ_settype(int ind) {
    state.type = ind == 1 ? 1 : 0;
    return 0;
}

int MQ_params(void) {
    int count = 0;
    char **values = nullptr;
    RES_getvals("parameter", &count, &values);
    for (int i = 0; i < count; ++i) {
        const char *value = values[i];
        if (strnicmp(value, "to", 2) == 0 && std::strlen(value) > 3)
            MQ_timeout(std::atoi(value + 3));
        else if (stricmp(value, "qtype=sock") == 0)
            MQ_settype(1);
        else if (stricmp(value, "qtype=mqueue") == 0)
            MQ_settype(0);
        else if (strnicmp(value, "qoffset=", 8) == 0)
            MQ_offset(std::atoi(value + 8));
    }
    free_parsed_array(count, values);
    return 0;
}

void MQ_intrp(int) {
    MESS_print(M_warn, "Queue not responding!!\n");
    KEM_exit(7);
}

int MQ_enable_alarm(void) {
    install_alarm(state.to_func != nullptr ? state.to_func : MQ_intrp);
    alarm(static_cast<unsigned>(state.timeout));
    return 0;
}

int MQ_disable_alarm(void) {
    alarm(0);
    return 0;
}

/* ---- client ------------------------------------------------------------ */

int MQ_open(int num) {
    long where = static_cast<long>(state.offset) + num;
    if (sockets()) {
        close_fd(state.sock1);
        if (!valid_port(where))
            return -1;
        state.sock1 = socket(AF_INET, SOCK_STREAM, 0);
        if (state.sock1 < 0)
            return -1;
        MESS_print(debug, "Opened socket\n");
        sockaddr_in addr = loopback(static_cast<int>(where));
        if (connect(state.sock1, reinterpret_cast<sockaddr *>(&addr), sizeof addr) < 0) {
            close_fd(state.sock1);
            return -1;
        }
        long owner = socket_peer_owner(state.sock1);
        MESS_print(debug, "Connected to socket of user %ld\n", owner);
        if (owner < 0 || !trusted_owner(static_cast<uid_t>(owner))) {
            close_fd(state.sock1); // any local user may listen on a loopback port
            return mq_not_yours;
        }
        return 1;
    }
    install_alarm(MQ_intrp);
    if (where == IPC_PRIVATE || where != static_cast<key_t>(where)) {
        errno = EINVAL; // key 0 would make a new private queue, never find one
        return -2;
    }
    state.msgqid = msgget(static_cast<key_t>(where), 0);
    if (state.msgqid < 0)
        return errno == ENOENT ? -1 : -2;
    if (!trusted_queue(state.msgqid)) // any local user may make a queue of any key
        return mq_not_yours;
    return state.msgqid;
}

int MQ_connect(int msgqid) {
    MQ_clear(msgqid, answer_conn);
    if (MQ_put(msgqid, -1, "%d", static_cast<int>(getuid())) < 0)
        return -1;
    MQ_enable_alarm();
    char item[record_size] = "";
    int conn_id = -1;
    if (MQ_get(msgqid, answer_conn, item) == 2) {
        conn_id = std::atoi(item);
        if (conn_id < first_conn || conn_id > last_conn)
            conn_id = -1;
        else
            MQ_clear(msgqid, conn_id);
    }
    MQ_disable_alarm();
    return conn_id;
}

int MQ_put(int msgqid, int conn_id, const char *format, ...) {
    char text[text_max + 1];
    va_list args;
    va_start(args, format);
    format_text(text, format, args);
    va_end(args);
    if (sockets())
        return send_frame(state.sock1, conn_id, text);
    MQ_enable_alarm();
    int result = send_record(msgqid, 1, conn_id, text);
    MQ_disable_alarm();
    MESS_print(debug, "PUT:%d:%c%s\n", conn_id, code_char(conn_id), text);
    return result;
}

int MQ_get(int msgqid, int conn_id, char *item) {
    if (item == nullptr)
        return -1;
    if (!sockets())
        return queue_get(msgqid, conn_id, item);
    char code = '0';
    return recv_frame(state.sock1, &code, item, -1) == 1 ? code - '0' : -1;
}

int MQ_clear(int msgqid, int index) {
    if (sockets())
        return 0;
    mqueuebuf buf = {};
    ssize_t got;
    do
        got = receive_record(msgqid, index, &buf);
    while (got >= 0);
    return -1;
}

/* ---- server ------------------------------------------------------------ */

int MQ_create(int num) {
    if (num == -1)
        return -2;
    long where = static_cast<long>(state.offset) + num;
    std::memset(state.conn, 0, sizeof state.conn);
    if (!sockets()) {
        if (where == IPC_PRIVATE || where != static_cast<key_t>(where))
            return -1;
        return msgget(static_cast<key_t>(where), IPC_CREAT | IPC_EXCL | 0600);
    }
    if (!valid_port(where))
        return -1;
    close_fd(state.sock1);
    state.sock1 = socket(AF_INET, SOCK_STREAM, 0);
    if (state.sock1 < 0)
        return -1;
    int yes = 1;
    setsockopt(state.sock1, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in addr = loopback(static_cast<int>(where)); // never the network
    int bound = bind(state.sock1, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
    MESS_print(debug, "Socket bind on port: %ld - %d\n", where, bound);
    if (bound < 0) {
        close_fd(state.sock1);
        return -1;
    }
    MESS_print(debug, "Socket listen...: %d\n", listen(state.sock1, 100));
    state.sock2 = -1;
    int nonblocking = 1; // a poll with no client waiting finds nothing
    ioctl(state.sock1, FIONBIO, &nonblocking);
    return 1;
}

int MQ_sget(int msgqid, int *conn_id, char *item) {
    int ignored = -1;
    if (conn_id == nullptr)
        conn_id = &ignored;
    *conn_id = -1;
    char scratch[record_size];
    if (item == nullptr)
        item = scratch;
    item[0] = '\0';
    if (msgqid < 0)
        return -1;
    char code = '0';
    int got = sockets() ? socket_sget(&code, item) : queue_sget(msgqid, &code, item);
    if (got <= 0)
        return got;
    if (code == '/')
        return answer_connection(msgqid, conn_id, item);
    int from = code - '0';
    if (from < first_conn || from > last_conn) { // not a number this server gives
        item[0] = '\0';
        return 0;
    }
    *conn_id = from;
    return 1;
}

int MQ_sput(int msgqid, int conn_id, int flag, const char *format, ...) {
    if (msgqid < 0 || conn_id < answer_conn || conn_id > last_conn)
        return -1;
    int &slot = state.conn[conn_id - 2];
    if (slot == 0)
        return -1;
    if (flag < 0)
        slot = 0;
    char text[text_max + 1];
    va_list args;
    va_start(args, format);
    format_text(text, format, args);
    va_end(args);
    if (sockets())
        return send_frame(state.sock2, flag, text);
    MESS_print(debug, "SPUT:%d:%c%s:", conn_id, code_char(flag), text);
    return send_record(msgqid, conn_id, flag, text);
}

int MQ_del(int msgqid) {
    if (sockets()) {
        close_fd(state.sock2);
        close_fd(state.sock1);
    } else if (msgqid >= 0) {
        struct msqid_ds msctl;
        msgctl(msgqid, IPC_RMID, &msctl);
    }
    std::memset(state.conn, 0, sizeof state.conn);
    return 0;
}

int MQ_find(int ind) {
    for (int num = ind; num < ind + 50; ++num) {
        int found = MQ_open(num);
        if (sockets())
            close_fd(state.sock1); // a probe, not a link
        if (found == -1)
            return num;
    }
    return -1;
}

} // extern "C"

/* ---- the start-up exchange's waits ------------------------------------- */

int mq_timeout_seconds() {
    return state.timeout;
}

int mq_get_within(int msgqid, int conn_id, char *item, int wait_ms, int *status) {
    item[0] = '\0';
    *status = 0;
    long end = now_ms() + (wait_ms > 0 ? wait_ms : 0);
    if (sockets()) {
        if (state.sock1 < 0)
            return -1;
        pollfd pfd = {state.sock1, POLLIN, 0};
        int ready;
        do
            ready = poll(&pfd, 1, static_cast<int>(std::max(0L, end - now_ms())));
        while (ready < 0 && errno == EINTR);
        if (ready == 0)
            return 0;
        char code = '0';
        int body_ms = static_cast<int>(std::min<long>(frame_wait_ms, std::max(1L, end - now_ms())));
        if (ready < 0 || recv_frame(state.sock1, &code, item, 0, body_ms) != 1)
            return -1;
        *status = code - '0';
        return 1;
    }
    mqueuebuf buf = {};
    for (int tries = 1;; ++tries) {
        if (receive_record(msgqid, conn_id, &buf) >= 0)
            break;
        if (errno != ENOMSG)
            return -1;
        long left = end - now_ms();
        if (left <= 0)
            return 0;
        pause_ms(std::min(left, tries > 200 ? 1000L : tries > 2 ? 100L : 0L));
    }
    copy_text(item, buf.mtext);
    *status = buf.mtext[0] - '0';
    return 1;
}

void mq_hang_up() {
    if (sockets())
        close_fd(state.sock1);
}
