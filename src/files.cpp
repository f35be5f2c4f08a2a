/*
 * files.cpp - paths and file access (FILE_).
 *
 * The one place where a name given by a user or a resource becomes a path
 * on disk: standard-stream names, complete names, joining to a directory,
 * "~" expansion, creating missing directories before writing, opening
 * files and pipes, the usual questions about a file, the suite's data-file
 * magics and the overwrite question.  Paths live in KEM_PATH_MAX-byte
 * buffers: a join that does not fit is delivered cut with a null result,
 * and a name whose expansion does not fit is refused by every operation
 * that touches the file system (it fails as a missing file would) rather
 * than opening a truncated name.  A directory is never opened as a file.
 * A file opened for writing is never reached through a symbolic link that
 * someone else could have planted (open_for_writing), and the directories
 * made on the way get the mode the user's umask gives.
 *
 * State: the share mode (initially 1, stored by KEM_share and otherwise
 * unused) and the list of streams opened as pipes, so that FILE_close can
 * pclose them.  Nothing here prints; failures are results (null, 0, -1).
 */
#include "kem.h"
#include "trust.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <pwd.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t kPathChars = KEM_PATH_MAX - 1; /* characters a path buffer holds */
constexpr size_t kPrefixChars = 99;             /* directory prefix in FILE_make_dir */
constexpr size_t kUserChars = 19;               /* user name after "~" */

struct FilesState {
    int share = 1;
    std::vector<FILE *> pipes; /* streams from popen, closed with pclose */
};

FilesState files;

struct Magic {
    const char *text;
    size_t len;
    int code;
};

constexpr Magic kMagics[] = {
    {"KEMSFC", 6, FILE_TYPE_SFC},   {"KEMUPA", 6, FILE_TYPE_UPA},   {"KEMRAW", 6, FILE_TYPE_RAW},
    {"KEMGRID", 7, FILE_TYPE_GRID}, {"KEMMETA", 7, FILE_TYPE_META}, {"KEMIMG", 6, FILE_TYPE_IMG},
};

/* ------------------------------------------------------------------------
 * Bounded path buffers
 * ---------------------------------------------------------------------- */

/* Appends `text` to a path buffer, cutting at kPathChars; false when cut. */
bool path_append(char *buf, const char *text, size_t count) {
    size_t len = strnlen(buf, kPathChars);
    size_t room = kPathChars - len;
    bool fits = count <= room;
    size_t n = fits ? count : room;
    std::memmove(buf + len, text, n);
    buf[len + n] = '\0';
    return fits;
}

bool path_append(char *buf, const char *text) {
    return path_append(buf, text, std::strlen(text));
}

/* The account named by the `len` bytes after "~", or the real user's. */
const passwd *home_account(const char *user, size_t len) {
    if (len == 0)
        return getpwuid(getuid());
    if (len > kUserChars)
        return nullptr; /* longer than any user name we accept */
    char name[kUserChars + 1];
    std::memcpy(name, user, len);
    name[len] = '\0';
    return getpwnam(name);
}

/*
 * Expands a leading "~" or "~user" into `out` (KEM_PATH_MAX bytes).
 * Answers false when the expansion had to be cut to fit.
 */
bool expand_home(const char *name, char *out) {
    out[0] = '\0';
    if (name[0] != '~')
        return path_append(out, name);
    const char *slash = std::strchr(name, '/');
    size_t user_len =
        slash != nullptr ? static_cast<size_t>(slash - name - 1) : std::strlen(name + 1);
    const passwd *pw = home_account(name + 1, user_len);
    if (pw == nullptr || pw->pw_dir == nullptr)
        return path_append(out, name);
    bool fits = path_append(out, pw->pw_dir);
    return path_append(out, slash != nullptr ? slash : "") && fits;
}

/* The expanded name for a file-system call, or false to refuse it. */
bool resolve(const char *name, char *out) {
    return name != nullptr && expand_home(name, out);
}

bool stat_name(const char *name, struct stat *st) {
    char path[KEM_PATH_MAX];
    return resolve(name, path) && stat(path, st) == 0;
}

/* The file-type bits of the entry, or 0 when there is none. */
mode_t entry_type(const char *name) {
    struct stat st;
    return stat_name(name, &st) ? (st.st_mode & S_IFMT) : 0;
}

/* ------------------------------------------------------------------------
 * Creating directories
 * ---------------------------------------------------------------------- */

/* True when the text before the last '/' (not the first byte) exists. */
bool parent_exists(const char *dir) {
    const char *last = std::strrchr(dir, '/');
    if (last == nullptr || last == dir)
        return false;
    size_t len = static_cast<size_t>(last - dir);
    if (len > kPathChars)
        return false;
    char parent[KEM_PATH_MAX];
    std::memcpy(parent, dir, len);
    parent[len] = '\0';
    return FILE_exist(parent) != 0;
}

/*
 * Adds one piece of the path to the prefix and creates the directory.
 * False when the prefix would pass its limit: deeper directories are then
 * left alone rather than created under a cut name.
 */
bool add_piece(std::string &prefix, const char *piece) {
    if (*piece == '\0') {
        if (!prefix.empty() && prefix.back() == '/')
            return true;
        if (prefix.size() + 1 > kPrefixChars)
            return false;
        prefix += '/';
        return true;
    }
    if (prefix.size() + std::strlen(piece) + 1 > kPrefixChars)
        return false;
    prefix += piece;
    prefix += '/';
    /* Made as the user's umask says, as mkdir -p makes them.  Mostly this
       fails because the directory exists, which is ignored: whoever owns
       it, it is used as it is and never changed. */
    mkdir(prefix.c_str(), 0777);
    return true;
}

void make_pieces(int argc, char **argv, int count) {
    std::string prefix;
    prefix.reserve(kPrefixChars + 1); /* no allocation inside the loop */
    for (int i = 0; i < count && i < argc; ++i) {
        if (!add_piece(prefix, argv[i]))
            break;
    }
}

/* ------------------------------------------------------------------------
 * Opening and closing
 * ---------------------------------------------------------------------- */

/* The open flags of an fopen access string ("r", "w+", "ab", "wx"...), 0
   for none. */
int access_flags(const char *access) {
    bool update = std::strchr(access, '+') != nullptr;
    int flags;
    switch (access[0]) {
    case 'r':
        flags = update ? O_RDWR : O_RDONLY;
        break;
    case 'w':
        flags = (update ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC;
        break;
    case 'a':
        flags = (update ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND;
        break;
    default:
        return 0;
    }
    if (std::strchr(access, 'x') != nullptr)
        flags |= O_EXCL;
    if (std::strchr(access, 'e') != nullptr)
        flags |= O_CLOEXEC;
    return flags | O_NOCTTY;
}

/* The directory part of `path` ("." for a bare name) opened for openat. */
int open_parent(const char *path, const char **base) {
    const char *slash = std::strrchr(path, '/');
    *base = slash != nullptr ? slash + 1 : path;
    char dir[KEM_PATH_MAX] = ".";
    if (slash == path) {
        std::strcpy(dir, "/");
    } else if (slash != nullptr) {
        std::memcpy(dir, path, static_cast<size_t>(slash - path));
        dir[slash - path] = '\0';
    }
    return open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

/*
 * Opens `path` (a name on disk) for writing.  A symbolic link as the
 * file's own name is not followed: in a directory that someone else may
 * write it could have been planted there to turn the output onto any
 * file the user can write.  Only where the directory belongs to the user
 * or root and nobody else may write it (as /dev/stderr) is it followed,
 * since nobody else can have put it there or can swap it.  A refused link
 * fails with ELOOP.
 */
int open_for_writing(const char *path, int flags) {
    int fd = open(path, flags | O_NOFOLLOW, 0666);
    if (fd >= 0)
        return fd;
    /* Some kernels answer EACCES rather than ELOOP for a link met while
       creating (O_CREAT): whatever the answer, a link is a link. */
    int err = errno;
    struct stat link;
    if (err != ELOOP && !(lstat(path, &link) == 0 && S_ISLNK(link.st_mode))) {
        errno = err;
        return -1;
    }
    const char *base = nullptr;
    int dir = open_parent(path, &base);
    struct stat st;
    bool followed = dir >= 0 && fstat(dir, &st) == 0 && trusted_entry(st);
    fd = followed ? openat(dir, base, flags, 0666) : -1;
    err = followed ? errno : ELOOP;
    if (dir >= 0)
        close(dir);
    errno = err;
    return fd;
}

/* fopen, never through a planted link when writing. */
FILE *open_stream(const char *path, const char *access) {
    int flags = access_flags(access);
    if ((flags & O_ACCMODE) == O_RDONLY)
        return fopen(path, access);
    int fd = open_for_writing(path, flags);
    if (fd < 0)
        return nullptr;
    /* The stream's mode without the letters that only opening reads. */
    char mode[8] = {access[0], '\0'};
    if (flags & O_RDWR)
        std::strcat(mode, "+");
    FILE *stream = fdopen(fd, mode);
    if (stream == nullptr) {
        int err = errno;
        close(fd);
        errno = err;
    }
    return stream;
}

FILE *open_pipe(const char *command, const char *access) {
    FILE *stream = popen(command, access);
    if (stream == nullptr)
        return nullptr;
    try {
        files.pipes.push_back(stream);
    } catch (...) {
        pclose(stream); /* untracked, it could never be closed properly */
        return nullptr;
    }
    return stream;
}

/* Removes `stream` from the pipe list; true when it was a pipe. */
bool forget_pipe(FILE *stream) {
    auto it = std::find(files.pipes.begin(), files.pipes.end(), stream);
    if (it == files.pipes.end())
        return false;
    files.pipes.erase(it);
    return true;
}

bool is_standard(FILE *stream) {
    return stream == stdin || stream == stdout || stream == stderr;
}

/*
 * Opens a data file by name; a name that cannot be opened is tried once
 * more by its part before the first '-' of the file name (grid-03 reads
 * grid).  Dashes in directory names do not count: /data/kem-x/grid-03
 * reads /data/kem-x/grid, not /data/kem.  The shortened name is never a
 * standard-stream name, so a name such as -03 cannot leave the caller
 * waiting on the standard input.
 */
FILE *open_data_file(const char *name) {
    FILE *stream = FILE_open(name, "r");
    if (stream != nullptr || name == nullptr)
        return stream;
    const char *slash = std::strrchr(name, '/');
    const char *dash = std::strchr(slash != nullptr ? slash : name, '-');
    if (dash == nullptr || static_cast<size_t>(dash - name) > kPathChars)
        return nullptr;
    char base[KEM_PATH_MAX];
    size_t len = static_cast<size_t>(dash - name);
    std::memcpy(base, name, len);
    base[len] = '\0';
    return FILE_is_stdio(base) ? nullptr : FILE_open(base, "r");
}

int magic_code(const char *head, size_t count) {
    for (const Magic &m : kMagics) {
        if (count >= m.len && std::memcmp(head, m.text, m.len) == 0)
            return m.code;
    }
    return -1;
}

/* ------------------------------------------------------------------------
 * The overwrite question
 * ---------------------------------------------------------------------- */

int answer_code(char answer, bool offer_append) {
    switch (answer) {
    case 'Y':
    case 'y':
    case 'O':
    case 'o':
        return 1;
    case 'A':
    case 'a':
        return offer_append ? 2 : 3;
    default:
        return 3;
    }
}

/* Shows the question (as plain text, never as a format) and decodes it. */
int ask_overwrite(const char *filename, bool offer_append) {
    std::string question;
    try {
        question = filename;
        question += offer_append ? ": exists overwrite (Y,N,Use,Over,App): "
                                 : ": exists overwrite (Y,N,Use,Over): ";
    } catch (...) {
        return 3; /* no memory for the question: keep the existing file */
    }
    char answer[10] = "";
    if (KEM_prompts(question.c_str(), answer, sizeof answer) == nullptr)
        return 3;
    return answer_code(answer[0], offer_append);
}

} // namespace

/* ------------------------------------------------------------------------
 * Names and joins
 * ---------------------------------------------------------------------- */

int FILE_fullpath(const char *name) {
    return name != nullptr && (name[0] == '/' || name[0] == '.' || name[0] == '~');
}

int FILE_is_stdio(const char *name) {
    if (name == nullptr)
        return 0;
    return name[0] == '\0' || std::strcmp(name, "-") == 0 || stricmp(name, "std") == 0 ||
           stricmp(name, "stdn") == 0;
}

int FILE_add_path_delim(char *path) {
    if (path == nullptr)
        return 0;
    size_t len = strnlen(path, kPathChars);
    if (len > 0 && path[len - 1] != '/' && len < kPathChars) {
        path[len] = '/';
        path[len + 1] = '\0';
    }
    return 0;
}

/* A joined path that does not fit is delivered cut, and the result is
   null so that a caller can refuse it instead of opening the wrong file. */
char *FILE_add_path(const char *path, const char *file, char *filename) {
    if (filename == nullptr)
        return nullptr;
    if (file == nullptr)
        file = "";
    char out[KEM_PATH_MAX] = "";
    bool fits = true;
    if (FILE_is_stdio(file) || FILE_fullpath(file)) {
        fits = path_append(out, file);
    } else {
        if (path != nullptr)
            fits = path_append(out, path);
        if (out[0] != '\0' && out[std::strlen(out) - 1] != '/')
            fits = path_append(out, "/") && fits;
        fits = path_append(out, file) && fits;
    }
    std::memcpy(filename, out, std::strlen(out) + 1);
    return fits ? filename : nullptr;
}

int FILE_add_user_path(const char *name, char *filename) {
    if (filename == nullptr)
        return 0;
    char out[KEM_PATH_MAX];
    expand_home(name != nullptr ? name : "", out);
    std::memcpy(filename, out, std::strlen(out) + 1);
    return 0;
}

/* ------------------------------------------------------------------------
 * Questions about a file
 * ---------------------------------------------------------------------- */

int FILE_exist(const char *name) {
    char path[KEM_PATH_MAX];
    if (!resolve(name, path))
        return 0;
    struct stat st;
    return FILE_is_stdio(path) || stat(path, &st) == 0;
}

int FILE_is_dir(const char *name) {
    return entry_type(name) == S_IFDIR;
}

int FILE_is_file(const char *name) {
    return entry_type(name) == S_IFREG;
}

int FILE_is_fifo(const char *name) {
    return entry_type(name) == S_IFIFO;
}

int FILE_is_device(const char *name) {
    mode_t type = entry_type(name);
    return type == S_IFCHR || type == S_IFBLK;
}

long FILE_size(const char *name) {
    struct stat st;
    return stat_name(name, &st) ? static_cast<long>(st.st_size) : -1;
}

long FILE_modtime(const char *name) {
    struct stat st;
    return stat_name(name, &st) ? static_cast<long>(st.st_mtime) : -1;
}

int FILE_delete(const char *name) {
    char path[KEM_PATH_MAX];
    if (!resolve(name, path)) {
        errno = name == nullptr ? EINVAL : ENAMETOOLONG;
        return -1;
    }
    return unlink(path);
}

int FILE_make_dir(char *dir, int flag) {
    if (dir == nullptr)
        return 0;
    for (char *p = dir; *p != '\0'; ++p) {
        if (*p == '\\')
            *p = '/';
    }
    if (parent_exists(dir))
        return 1;
    int argc = 0;
    char **argv = nullptr;
    if (parse_string(dir, '/', &argc, &argv) != 0)
        return 0;
    make_pieces(argc, argv, flag < 0 ? argc : argc - flag);
    free_parsed_array(argc, argv);
    return 0;
}

/* ------------------------------------------------------------------------
 * Opening
 * ---------------------------------------------------------------------- */

FILE *FILE_open(const char *file, const char *access) {
    if (file == nullptr || access == nullptr)
        return nullptr;
    if (FILE_is_stdio(file))
        return access[0] == 'r' ? stdin : stdout;
    if (file[0] == '|')
        return open_pipe(file + 1, access);
    char path[KEM_PATH_MAX];
    if (!resolve(file, path)) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    struct stat st;
    if (stat(path, &st) == 0 && S_ISDIR(st.st_mode)) {
        errno = EISDIR; /* fopen reads a directory as an empty file */
        return nullptr;
    }
    if (access[0] == 'w' || access[0] == 'a')
        FILE_make_dir(path, 1);
    return open_stream(path, access);
}

int FILE_close(FILE *stream) {
    if (stream == nullptr)
        return -1;
    if (is_standard(stream))
        return stream == stdin || fflush(stream) == 0 ? 0 : -1;
    if (forget_pipe(stream))
        return pclose(stream) == -1 ? -1 : 0;
    return fclose(stream) == 0 ? 0 : -1;
}

int FILE_type(const char *name) {
    FILE *stream = open_data_file(name);
    if (stream == nullptr)
        return -1;
    char head[10];
    size_t count = fread(head, 1, sizeof head, stream);
    FILE_close(stream);
    return magic_code(head, count);
}

int FILE_overwrite(const char *filename, int flag) {
    if (FILE_is_stdio(filename) || !FILE_exist(filename))
        return 1;
    int param = FLAG_get(FLAG_WORD_FILE_PARAM);
    if (param > 0)
        return param;
    if (FLAG_batch())
        return 3;
    if (flag != 1 && flag != 2)
        return 0;
    return ask_overwrite(filename, flag == 2);
}

int KEM_share(int mode) {
    files.share = mode;
    return 0;
}
