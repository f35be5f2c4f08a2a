/*
 * res_window.cpp - the resource exchange with a display window at start-up.
 *
 * An element "#n" of the defaults search path links start-up to display
 * window n: every resource of the key table is asked for ("query res
 * NAME"), the window's values are stored (they win over the defaults files
 * read before), and the program's own values for resources the window has
 * no setting for are handed to it ("set res NAME VALUE").  While the link
 * is open, the keyed options of the command line are handed over too;
 * decoding ends the conversation with "quit".
 *
 * Owns the open link (queue and connection number) for the length of
 * decoding.  Failures are warn messages and the link is then not used.  A
 * window that stops answering is ended by the alarm: status 7 with "Queue
 * not responding!!", over either transport; no alarm outlives decoding.
 */
#include "kem.h"
#include "resrc.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

constexpr unsigned reply_wait = 100; // seconds allowed for each reply
constexpr int status_not_running = -3;
constexpr size_t item_size = 124;

struct Link {
    int msgqid = 0;
    int conn_id = 0; // 0: no link
};

Link window;

void arm() {
    std::signal(SIGALRM, MQ_intrp);
    alarm(reply_wait);
}

int next_reply(char *item) {
    arm();
    int status = MQ_get(window.msgqid, window.conn_id, item);
    alarm(0);
    return status;
}

void await_end() {
    char item[item_size];
    while (next_reply(item) == 0) {
    }
}

// A reply line as the window sends it, without its line end.
std::string reply_value(const char *item) {
    std::string value = item;
    if (!value.empty() && value.back() == '\n')
        value.pop_back();
    return value;
}

// Stores the window's values for one entry; the final status of the reply.
int take_values(const RES_defobj &entry, int index, bool *stored) {
    char item[item_size];
    int status;
    while ((status = next_reply(item)) == 0) {
        if (item[0] == '\0' || item[0] == '!' || item[0] == '\n')
            continue;
        std::string value = reply_value(item);
        if (*stored)
            RES_append(index, entry.def, value.c_str(), entry.cvt);
        else
            RES_new(index, entry.def, value.c_str(), entry.cvt);
        *stored = true;
    }
    return status;
}

bool usable(const RES_defobj &entry) {
    return entry.def != nullptr && entry.def[0] != '\0';
}

int open_link(const char *number) {
    MQ_params();
    int msgqid = MQ_open(std::atoi(number));
    if (msgqid == -1) {
        MESS_print(M_warn, "VARoviz window: %s not running or no message queue exists\n", number);
        return 0;
    }
    int conn_id = msgqid < 0 ? -1 : MQ_connect(msgqid);
    if (conn_id < 0) {
        MESS_print(M_warn, "VARoviz window: %s unable to connect\n", number);
        return 0;
    }
    window.msgqid = msgqid;
    window.conn_id = conn_id;
    return 1;
}

// Asks for every resource, stores the answers and hands over the values the
// window lacks; answers how many "set res" messages await their reply.
int exchange(const RES_defobj *table) {
    for (int i = 0; table[i].def; ++i)
        if (usable(table[i]))
            MQ_put(window.msgqid, window.conn_id, "query res %s", table[i].def);
    int sets = 0;
    for (int i = 0; table[i].def; ++i) {
        if (!usable(table[i]))
            continue;
        bool stored = false;
        int status = take_values(table[i], i, &stored);
        const char *own = RES_get(table[i].def);
        if (!stored && own != nullptr) {
            MQ_put(window.msgqid, window.conn_id, "set res %s %s", table[i].def, own);
            ++sets;
        }
        if (status == status_not_running)
            MESS_print(M_warn, "VARoviz not running!\n");
    }
    return sets;
}

} // namespace

int res_window_open(const char *number, const RES_defobj *table) {
    if (number == nullptr || table == nullptr)
        return 0;
    res_window_close();
    if (!open_link(number))
        return 0;
    int sets = exchange(table);
    for (int i = 0; i < sets; ++i)
        await_end();
    std::signal(SIGALRM, SIG_IGN);
    return 1;
}

int res_window_set(const char *name, const char *value) {
    if (window.conn_id == 0 || name == nullptr)
        return 0;
    MQ_put(window.msgqid, window.conn_id, "set res %s %s", name, value ? value : "");
    await_end();
    return 1;
}

int res_window_close() {
    if (window.conn_id == 0)
        return 0;
    MQ_put(window.msgqid, window.conn_id, "quit");
    await_end();
    window = Link{};
    alarm(0);
    std::signal(SIGALRM, SIG_IGN);
    return 1;
}
