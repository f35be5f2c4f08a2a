/*
 * system.cpp - process, prompt and timing utilities (KEM_).
 *
 * The suite's thin layer over the operating system: the version string and
 * the exit routine, line prompts that also obey the "set" and "exit"
 * commands, a pause and a stopwatch, the process id and virtual memory size,
 * and the starting of child programs in the foreground or the background.
 *
 * State: a table of ten background-child slots (all free at start) with the
 * count of slots ever used, the input and output file names handed to
 * children, and the stopwatch.  Failures are answered with -1 (null for
 * buffers); those a user must see (a process that cannot be created, a name
 * too long for its field) are printed once as error messages.  A prompt
 * whose standard input has ended ends the program with status 1.
 */
#include "kem.h"
#include "text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

constexpr int max_procs = 10;
constexpr size_t proc_name_max = 14; // characters of a child's name
constexpr size_t proc_file_max = 69; // characters of a child's input/output file name
constexpr size_t res_name_max = 19;  // characters of a resource name in "set"
constexpr size_t prompt_line_max = 79;
constexpr size_t promptl_width = 19;
constexpr size_t promptl_buffer = 81;
constexpr int end_of_input_status = 1;
constexpr M_type set_list_kind = 0x800; // mess, sub-level d

struct proc_item {
    int index; // kept for the record's layout; nothing reads it
    char name[proc_name_max + 1];
    int id;
};

struct system_state {
    proc_item procs[max_procs];
    int num_proc = 0;
    char proc_infile[proc_file_max + 1] = {};
    char proc_outfile[proc_file_max + 1] = {};
    timeval start = {};
    timeval current = {};
    float elapse = 0; // the pauses made with KEM_sleep since KEM_init_time

    // Every slot starts free, so that children can be recorded at once.
    constexpr system_state() : procs() {
        for (int i = 0; i < max_procs; i++)
            procs[i] = proc_item{i, {}, -1};
    }
};

constinit system_state state;

/* ---------------------------------------------------------------- helpers */

/* ---------------------------------------------------------------- the set command */

void list_resources() {
    MESS_print(set_list_kind, "Set resources\n");
    RES_list();
    MESS_print(set_list_kind, "\n");
}

// The set command's line is "set" (or any word starting so), a name that
// runs to the first '=' or blank, a run of '=' and blanks, and the value:
// the rest of the line, blanks included.  A name without any value stores
// the empty value.
void run_set(const char *string) {
    const char *name = skip_blanks(skip_word(skip_blanks(string)));
    size_t length = strcspn(name, "= ");
    if (length == 0) {
        list_resources();
        return;
    }
    if (length > res_name_max) {
        MESS_print(M_error, "Resource name too long: %.*s\n", static_cast<int>(length), name);
        return;
    }
    char stored[res_name_max + 1];
    memcpy(stored, name, length);
    stored[length] = '\0';
    const char *value = name + length;
    RES_put(stored, value + strspn(value, "= "));
}

/* ---------------------------------------------------------------- prompts */

struct answer_line {
    char text[prompt_line_max + 1];
};

[[noreturn]] void end_of_input() {
    MESS_print(M_error, "End of input at prompt\n");
    KEM_exit(end_of_input_status);
}

// Shows the prompt as plain text (it may hold a file name with '%' in it)
// and reads the trimmed answer; ends the program at the end of input.
answer_line ask(const char *prompt) {
    MESS_print(M_print, "%s", prompt ? prompt : "");
    fflush(stdout);
    answer_line line;
    // The rest of a long line is dropped so that it cannot answer the next prompt.
    if (read_line(stdin, line.text, prompt_line_max) < 0)
        end_of_input();
    wstrim_string(line.text);
    return line;
}

// The first blank-separated word of text, cut to width characters, into
// out (which is left alone when there is no word); false without a word.
bool read_word(const char *text, char *out, size_t width) {
    text = skip_blanks(text);
    size_t n = std::min(static_cast<size_t>(skip_word(text) - text), width);
    if (n == 0)
        return false;
    memcpy(out, text, n);
    out[n] = '\0';
    return true;
}

bool read_int(const char *text, int *out) {
    char *end;
    errno = 0;
    long value = strtol(text, &end, 10);
    if (end == text || errno == ERANGE || value < INT_MIN || value > INT_MAX)
        return false;
    *out = static_cast<int>(value);
    return true;
}

bool read_float(const char *text, float *out) {
    char *end;
    float value = strtof(text, &end);
    if (end == text)
        return false;
    *out = value;
    return true;
}

// Asks until a line that is no command gives an answer through `read`.
template <class Read> void ask_until(const char *prompt, Read read) {
    for (;;) {
        answer_line line = ask(prompt);
        bool got = read(line.text);
        if (KEM_set_command(line.text) == 0 && got)
            return;
    }
}

/* ---------------------------------------------------------------- children */

bool valid_slot(int proc) {
    return proc >= 0 && proc < max_procs;
}

void free_slot(proc_item &item) {
    item.id = -1;
    item.name[0] = '\0';
}

// A recorded child that has ended stays a zombie, which still answers
// signal 0, until it is collected; so collect it first.
bool process_exists(int pid) {
    if (pid > 0 && waitpid(pid, nullptr, WNOHANG) == pid)
        return false;
    return kill(pid, 0) == 0;
}

// Background children that ended while the caller waited leave the table.
void collect_ended_children() {
    for (proc_item &item : state.procs)
        if (item.id > 0 && waitpid(item.id, nullptr, WNOHANG) == item.id)
            free_slot(item);
}

// Waits for this one child only, so that children started elsewhere (pipes
// opened with popen) keep their status for whoever waits for them.
int wait_for(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) != pid)
        if (errno != EINTR)
            return -1;
    collect_ended_children();
    return WIFEXITED(status) ? WEXITSTATUS(status) : 0;
}

// Creates a child process, flushing first so that the child cannot repeat
// output the caller has buffered.
pid_t make_child() {
    fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0) {
        int err = errno;
        MESS_print(M_error, "Cannot create a process: %s\n", strerror(err));
    }
    return pid;
}

bool attach(const char *name, int mode, int fd) {
    int opened = open(name, mode, 0666);
    if (opened < 0)
        return false;
    if (opened == fd)
        return true;
    bool ok = dup2(opened, fd) == fd;
    close(opened);
    return ok;
}

// A background child never reads the terminal: without an input file it
// reads /dev/null.
bool redirect_child(bool background) {
    const char *in = state.proc_infile[0] ? state.proc_infile : background ? "/dev/null" : nullptr;
    if (in && !attach(in, O_RDONLY, STDIN_FILENO))
        return false;
    const char *out = state.proc_outfile;
    return !out[0] || attach(out, O_WRONLY | O_CREAT | O_TRUNC, STDOUT_FILENO);
}

[[noreturn]] void run_child(const char *filename, char **argv, char **env, int flag) {
    signal(SIGINT, SIG_DFL);
    if ((flag & 1) && chdir(filename) != 0) {
        // the program is started from where it is
    }
    if (!redirect_child(flag & 2))
        _exit(1);
    if (flag & 2)
        setpgid(0, 0);
    if (env)
        environ = env;
    char *alone[] = {const_cast<char *>(filename), nullptr};
    execvp(filename, argv ? argv : alone);
    int err = errno;
    fprintf(stderr, "Running %s: %s\n", filename, strerror(err));
    _exit(2);
}

int set_child_file(char *field, const char *name, const char *which) {
    if (!name)
        name = "";
    if (strnlen(name, proc_file_max + 1) > proc_file_max) {
        MESS_print(M_error, "%s file name too long: %s\n", which, name);
        field[0] = '\0';
        return 0;
    }
    strntcpy(field, name, proc_file_max);
    return 1;
}

} // namespace

/* ---------------------------------------------------------------- version, exit, process facts */

const char *KEM_version(void) {
    return "5.60.4-LINUX-X11";
}

void KEM_exit(int status) {
    exit(status);
}

int KEM_get_pid(void) {
    return static_cast<int>(getpid());
}

// The program name in the stat line is in parentheses and may hold blanks
// and ')', so fields are counted from its last ')': the state there is
// field 3, the virtual memory size field 23.
long KEM_get_virt_mem(void) {
    char path[40];
    snprintf(path, sizeof path, "/proc/%d/stat", KEM_get_pid());
    FILE *file = fopen(path, "r");
    if (!file)
        return 0;
    char line[4096];
    size_t n = fread(line, 1, sizeof line - 1, file);
    fclose(file);
    line[n] = '\0';
    const char *p = strrchr(line, ')');
    if (!p)
        return 0;
    p++;
    for (int field = 3; field < 23; field++)
        p = skip_word(skip_blanks(p));
    p = skip_blanks(p);
    long size = 0;
    std::from_chars(p, line + n, size);
    return size;
}

/* ---------------------------------------------------------------- commands and prompts */

int KEM_set_command(const char *string) {
    if (!string)
        return 0;
    if (strnicmp(string, "set", 3) == 0) {
        run_set(string);
        return 1;
    }
    if (strnicmp(string, "exit", 4) == 0)
        KEM_exit(0);
    return 0;
}

// Only the word read goes to the command interpreter here, so "set" lists
// the resources and cannot set one.
char *KEM_promptl(const char *prompt, char *str) {
    char *buffer = str ? str : static_cast<char *>(malloc(promptl_buffer));
    if (!buffer)
        return nullptr;
    for (;;) {
        answer_line line = ask(prompt);
        if (read_word(line.text, buffer, promptl_width) && KEM_set_command(buffer) == 0)
            return buffer;
    }
}

char *KEM_prompts(const char *prompt, char *str, int length) {
    size_t size = static_cast<size_t>(std::max(length, 2));
    char *buffer = str ? str : static_cast<char *>(malloc(size + 1));
    if (!buffer)
        return nullptr;
    ask_until(prompt, [&](const char *text) { return read_word(text, buffer, size - 1); });
    return buffer;
}

float KEM_promptf(const char *prompt) {
    float value = 0;
    ask_until(prompt, [&](const char *text) { return read_float(text, &value); });
    return value;
}

int KEM_promptd(const char *prompt) {
    int value = 0;
    ask_until(prompt, [&](const char *text) { return read_int(text, &value); });
    return value;
}

/* ---------------------------------------------------------------- pause and stopwatch */

int KEM_sleep(float secs) {
    if (!(secs > 0))
        return -1; // also refuses NaN
    state.elapse += secs;
    // whole microseconds, truncated; an absurd length is held to ~31 years
    double micros = std::min(std::floor(static_cast<double>(secs) * 1e6), 1e15);
    long long total = static_cast<long long>(micros);
    timespec rest = {static_cast<time_t>(total / 1000000),
                     static_cast<long>(total % 1000000) * 1000};
    while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
    }
    return 0;
}

int KEM_init_time(void) {
    gettimeofday(&state.start, nullptr);
    state.elapse = 0;
    return 0;
}

float KEM_elapse_time(void) {
    gettimeofday(&state.current, nullptr);
    double secs = static_cast<double>(state.current.tv_sec - state.start.tv_sec) +
                  static_cast<double>(state.current.tv_usec - state.start.tv_usec) / 1e6;
    return static_cast<float>(secs);
}

/* ---------------------------------------------------------------- starting programs */

int KEM_run(const char *filename, char **argv, char **env, int flag) {
    bool background = (flag & 2) != 0;
    if (!filename || (background && state.num_proc >= max_procs))
        return -1;
    pid_t pid = make_child();
    if (pid < 0)
        return -1;
    if (pid == 0)
        run_child(filename, argv, env, flag);
    if (!background)
        return wait_for(pid);
    return KEM_add_proc(pid, argv && argv[0] ? argv[0] : filename);
}

// The child leaves through _exit after flushing its own output, so exit
// handlers the caller registered (closing its files or queues) do not run
// twice.
int KEM_run_func(int (*func)(int), int arg) {
    if (!func)
        return -1;
    pid_t pid = make_child();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        signal(SIGINT, SIG_DFL);
        int result = func(arg);
        fflush(nullptr);
        _exit(result);
    }
    return wait_for(pid);
}

int KEM_back_proc(void) {
    pid_t pid = make_child();
    if (pid < 0)
        return -1;
    if (pid > 0)
        KEM_exit(0);
    signal(SIGINT, SIG_DFL);
    close(STDIN_FILENO);
    close(STDOUT_FILENO);
    close(STDERR_FILENO);
    if (open("/dev/null", O_RDWR) != STDIN_FILENO)
        return 0;
    dup2(STDIN_FILENO, STDOUT_FILENO);
    dup2(STDIN_FILENO, STDERR_FILENO);
    setpgid(0, 0);
    return 1;
}

/* ---------------------------------------------------------------- the table of background children
 */

int KEM_add_proc(int pid, const char *name) {
    for (int i = 0; i < max_procs; i++) {
        proc_item &item = state.procs[i];
        if (item.id != -1)
            continue;
        item.id = pid;
        strntcpy(item.name, name, sizeof item.name - 1);
        if (i >= state.num_proc)
            state.num_proc++;
        return i;
    }
    return -1;
}

int KEM_numproc(void) {
    return state.num_proc;
}

int KEM_proc(int pid) {
    for (int i = 0; i < max_procs; i++)
        if (state.procs[i].id == pid)
            return i;
    return -1;
}

int KEM_proc_id(int proc) {
    return valid_slot(proc) ? state.procs[proc].id : -1;
}

const char *KEM_proc_name(int proc) {
    return valid_slot(proc) ? state.procs[proc].name : "";
}

int KEM_set_proc(int proc, int value) {
    if (!valid_slot(proc))
        return -1;
    state.procs[proc].id = value;
    return 0;
}

int KEM_clr_proc(int proc) {
    if (!valid_slot(proc))
        return -1;
    free_slot(state.procs[proc]);
    return 0;
}

int KEM_chk_proc(int proc) {
    if (!valid_slot(proc) || state.procs[proc].id < 0)
        return 0;
    if (process_exists(state.procs[proc].id))
        return 1;
    free_slot(state.procs[proc]);
    return 0;
}

int KEM_set_infile(const char *name) {
    return set_child_file(state.proc_infile, name, "Input");
}

int KEM_set_outfile(const char *name) {
    return set_child_file(state.proc_outfile, name, "Output");
}
