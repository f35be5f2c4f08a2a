/*
 * trust.cpp - the rules for sources that need not be the user's (see
 * trust.h): texts that could name a command, and files of settings that
 * someone else owns or may write.
 *
 * No state.  Refusals are warn messages; results say what was refused.
 */
#include "trust.h"

#include "kem.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <string>
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
