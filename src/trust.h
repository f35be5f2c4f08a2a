/*
 * trust.h - what the library takes from sources that need not be the
 * user's: defaults files and region files (the search paths begin with
 * the working directory, which may be anyone's), display windows (any
 * local user can make a queue or listen on a port) and the directories
 * files are written to.  Shared by the library's files only; not part of
 * its interface.
 *
 * The rules, each with one home here:
 * - a text from such a source never names a command: one holding '|'
 *   anywhere is refused, with a warning naming the source;
 * - a file of settings is read only when it belongs to the user or to
 *   root and neither group nor others may write it (as ssh treats its
 *   configuration; the group may when it is the owner's private group,
 *   as a umask of 002 makes files); any other is skipped with a warning
 *   that says why;
 * - a window is used only when it belongs to the user or to root
 *   (mqueue.cpp applies the rule to queues and sockets).
 */
#ifndef KEM_TRUST_H
#define KEM_TRUST_H

#include <cstdio>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>

/* The user (the real user id) or root. */
bool trusted_owner(uid_t uid);

/* An entry that belongs to the user or to root and that neither others
   nor a group other than its owner's private group may write. */
bool trusted_entry(const struct stat &st);

/* Any name that begins with '|' is opened as a pipe, and names are made
   from values in many ways (whole values, list items, the file items of
   message settings), so a text holding a '|' anywhere may run a command. */
bool may_run_command(std::string_view text);

/* When `value` may run a command: warns "SOURCE: value of NAME refused,
   it could run a command" and answers true. */
bool refuse_command(const char *source, const char *name, std::string_view value);

/* Opens the file of settings `name` for reading: a standard-stream name
   or a pipe ("|command", the user's own words) as FILE_open does, a file
   on disk ("~" expanded) only when it is trusted.  Null when it does not
   exist or cannot be opened; null after the warning "CALLER: PATH
   skipped: REASON" when it exists but is not trusted.  Never waits on a
   named pipe that another user planted. */
FILE *open_settings(const char *name, const char *caller);

/* The user id that owns the other end of the connected loopback socket
   `fd` (the window's), from the kernel's socket tables; -1 when it cannot
   be found. */
long socket_peer_owner(int fd);

/* A queue the user may trust: its owner and its creator are the user or
   root, and it grants nothing to group or others.  A queue whose state
   cannot even be read is another user's. */
bool trusted_queue(int msgqid);

#endif /* KEM_TRUST_H */
