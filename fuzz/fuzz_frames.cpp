/*
 * fuzz_frames.cpp - display-window frames as a server receives them.
 *
 * The harness is a window server on a loopback port of its own; each input
 * is sent whole by a client that then closes, and the server reads frames
 * until the stream ends.  Nothing leaves the machine: the socket layer
 * binds and connects to 127.0.0.1 only.
 */
#include "sandbox.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace {

int port = -1; /* where the server listens */

/* A server on the first free port of a range that depends on the process. */
void start_server() {
    MQ_settype(1);
    for (int i = 0; i < 200 && port < 0; ++i) {
        int candidate = 20000 + (getpid() * 7 + i) % 40000;
        MQ_offset(candidate);
        if (MQ_create(0) == 1)
            port = candidate;
    }
    if (port < 0)
        std::abort();
}

/* A client whose close resets the connection, so that hundreds of
   thousands of runs leave no ports waiting; -1 when none can be had. */
int connect_client() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return -1;
    linger reset = {1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (port < 0)
        start_server();
    int client = connect_client();
    if (client < 0)
        return 0; /* the machine's trouble, not the library's */
    if (size > 0 && send(client, data, size, MSG_NOSIGNAL) != static_cast<ssize_t>(size))
        std::abort();
    shutdown(client, SHUT_WR);
    char item[128];
    int conn = 0;
    /* Every frame takes at least one byte: the stream must end by then. */
    size_t reads = 0;
    while (MQ_sget(1, &conn, item) != -1)
        if (++reads > size + 16)
            std::abort();
    close(client);
    MQ_del(1); /* forgets the connection numbers given */
    if (MQ_create(0) != 1)
        std::abort();
    fuzz::reset();
    return 0;
}
