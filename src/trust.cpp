/*
 * trust.cpp - the rules for sources that need not be the user's (see
 * trust.h): texts that could name a command, files of settings that
 * someone else owns or may write, and display windows that are not the
 * user's.
 *
 * No state.  Refusals are warn messages; results say what was refused.
 */
#include "trust.h"

#include "kem.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <string>
#include <sys/msg.h>
#include <sys/socket.h>
#include <unistd.h>

bool trusted_owner(uid_t uid) {
    return uid == getuid() || uid == 0;
}

namespace {

/* The group `gid` is the account `uid`'s own (a user private group, as a
   umask of 002 expects): it is that account's primary group and no other
   account's, and it lists no other member. */
bool private_group(gid_t gid, uid_t uid) {
    const passwd *owner = getpwuid(uid);
    if (owner == nullptr || owner->pw_gid != gid)
        return false;
    std::string name = owner->pw_name; /* the next look-ups reuse the record */
    const group *gr = getgrgid(gid);
    if (gr == nullptr)
        return false;
    for (char **member = gr->gr_mem; member != nullptr && *member != nullptr; ++member)
        if (name != *member)
            return false;
    bool alone = true;
    setpwent();
    for (const passwd *pw = getpwent(); pw != nullptr && alone; pw = getpwent())
        alone = pw->pw_gid != gid || pw->pw_uid == uid;
    endpwent();
    return alone;
}

} // namespace

bool trusted_entry(const struct stat &st) {
    if (!trusted_owner(st.st_uid) || (st.st_mode & S_IWOTH) != 0)
        return false;
    return (st.st_mode & S_IWGRP) == 0 || private_group(st.st_gid, st.st_uid);
}

bool may_run_command(std::string_view text) {
    return text.find('|') != text.npos;
}

bool refuse_command(const char *source, const char *name, std::string_view value) {
    if (!may_run_command(value))
        return false;
    MESS_print(M_warn, "%s: value of %s refused, it could run a command\n", source ? source : "",
               name ? name : "");
    return true;
}

FILE *open_settings(const char *name, const char *caller) {
    if (name == nullptr)
        return nullptr;
    if (FILE_is_stdio(name) || name[0] == '|')
        return FILE_open(name, "r");
    char path[KEM_PATH_MAX];
    FILE_add_user_path(name, path);
    if (std::strlen(path) >= KEM_PATH_MAX - 1) {
        errno = ENAMETOOLONG; /* the expansion may have been cut: never open another name */
        return nullptr;
    }
    /* Not blocking: opening a named pipe for reading would otherwise wait
       for a writer before its owner could be looked at. */
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st = {};
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        int err = S_ISDIR(st.st_mode) ? EISDIR : errno; /* a directory holds no settings */
        close(fd);
        errno = err;
        return nullptr;
    }
    if (!trusted_entry(st)) {
        close(fd);
        if (!trusted_owner(st.st_uid))
            MESS_print(M_warn, "%s: %s skipped: it belongs to uid %lu, neither you nor root\n",
                       caller ? caller : "", path, static_cast<unsigned long>(st.st_uid));
        else
            MESS_print(M_warn, "%s: %s skipped: group or others may write it\n",
                       caller ? caller : "", path);
        errno = EACCES;
        return nullptr;
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        int err = errno;
        close(fd);
        errno = err;
        return nullptr;
    }
    FILE *stream = fdopen(fd, "r");
    if (stream == nullptr)
        close(fd);
    return stream;
}

/* ------------------------------------------------------------------------
 * Windows: who is at the other end of the link
 * ---------------------------------------------------------------------- */

namespace {

constexpr int peer_tries = 50;    // looks for the window's end of a new connection ...
constexpr int peer_pause_ms = 20; // ... this far apart

/* An address and port as the kernel's socket tables print them: the
   address's 32-bit words as stored, in hexadecimal, then the port. */
void table_address(char *out, size_t size, const unsigned char *addr, size_t words, int port) {
    size_t at = 0;
    for (size_t i = 0; i < words; ++i) {
        uint32_t word;
        std::memcpy(&word, addr + 4 * i, 4);
        at += static_cast<size_t>(std::snprintf(out + at, size - at, "%08X", word));
    }
    std::snprintf(out + at, size - at, ":%04X", port);
}

/* The owner column of the line of `table` (/proc/net/tcp or tcp6) whose
   local and remote addresses are the ones given; -1 when there is none. */
long table_owner(const char *table, const char *local, const char *remote) {
    FILE *in = std::fopen(table, "r");
    if (in == nullptr)
        return -1;
    long owner = -1;
    char line[512];
    while (owner < 0 && std::fgets(line, sizeof line, in) != nullptr) {
        char own[80], rem[80];
        unsigned long uid = 0;
        if (std::sscanf(line, " %*s %79s %79s %*s %*s %*s %*s %lu", own, rem, &uid) == 3 &&
            std::strcmp(own, local) == 0 && std::strcmp(rem, remote) == 0)
            owner = static_cast<long>(uid);
    }
    std::fclose(in);
    return owner;
}

} // namespace

/* The socket the window accepted has the connection's addresses swapped
   and belongs to whoever made the listening socket: it stands in
   /proc/net/tcp, or in /proc/net/tcp6 with IPv4-mapped addresses when the
   window listens on IPv6.  The window's kernel may add it a moment after
   the connection is made, so the tables are read a few times. */
long socket_peer_owner(int fd) {
    sockaddr_in self = {}, peer = {};
    socklen_t self_size = sizeof self, peer_size = sizeof peer;
    if (getsockname(fd, reinterpret_cast<sockaddr *>(&self), &self_size) != 0 ||
        getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &peer_size) != 0 ||
        self.sin_family != AF_INET || peer.sin_family != AF_INET)
        return -1;
    char local4[40], remote4[40], local6[80], remote6[80];
    auto print = [](char *out4, char *out6, const sockaddr_in &addr) {
        const auto *v4 = reinterpret_cast<const unsigned char *>(&addr.sin_addr);
        table_address(out4, 40, v4, 1, ntohs(addr.sin_port));
        unsigned char mapped[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
        std::memcpy(mapped + 12, v4, 4);
        table_address(out6, 80, mapped, 4, ntohs(addr.sin_port));
    };
    print(local4, local6, peer);
    print(remote4, remote6, self);
    for (int i = 0; i < peer_tries; ++i) {
        long owner = table_owner("/proc/net/tcp", local4, remote4);
        if (owner < 0)
            owner = table_owner("/proc/net/tcp6", local6, remote6);
        if (owner >= 0)
            return owner;
        usleep(peer_pause_ms * 1000);
    }
    return -1;
}

bool trusted_queue(int msgqid) {
    msqid_ds ds = {};
    if (msgctl(msgqid, IPC_STAT, &ds) != 0)
        return false;
    return trusted_owner(ds.msg_perm.uid) && trusted_owner(ds.msg_perm.cuid) &&
           (ds.msg_perm.mode & 077) == 0;
}
