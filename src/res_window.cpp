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
 * A window is outside input even when it is the user's: what it answers
 * is bounded.  A window that another user owns or may use is refused
 * before anything is sent to it (MQ_open); a value holding '|' is refused
 * as in a defaults file; one request takes at most 100 replies and 8192
 * bytes of text, and the whole exchange ends by three time-outs of the
 * link ("to=N", 20 s until set) after it opened.  Past a bound the link
 * ends with a warning and start-up goes on with the values already taken.
 *
 * Owns the open link (queue, connection number, deadline) for the length
 * of decoding.  Failures are warn messages and the link is then not used.
 * A window that sends nothing for a whole time-out ends the program as
 * the alarm of every wait on the link does: status 7 with "Queue not
 * responding!!", over either transport; no alarm outlives decoding.
 */
#include "kem.h"
#include "mq_link.h"
#include "resrc.h"
#include "trust.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

constexpr int max_replies = 100;      // replies to one request ...
constexpr size_t max_bytes = 8192;    // ... and the bytes of their texts
constexpr long deadline_timeouts = 3; // the whole exchange, in time-outs of the link
constexpr int status_not_running = -3;
constexpr size_t item_size = 124;

struct Link {
    int msgqid = 0;
    int conn_id = 0;      // 0: no link
    long deadline_ms = 0; // on the steady clock
    std::string name;     // "VARoviz window: N", for the messages
};

Link window;

long now_ms() {
    using namespace std::chrono;
    return static_cast<long>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Ends the link early: the window is not asked anything more.
void end_link(const char *why) {
    MESS_print(M_warn, "%s %s\n", window.name.c_str(), why);
    mq_hang_up();
    window = Link{};
}

// What one request's replies have used of their bounds.
struct Budget {
    int replies = 0;
    size_t bytes = 0;
};

// The next reply to the request being answered, its status in `status`;
// false when there is no link (any more).
bool next_reply(char *item, int &status, Budget &budget) {
    if (window.conn_id == 0)
        return false;
    long left = window.deadline_ms - now_ms();
    long timeout_ms = 1000L * mq_timeout_seconds();
    long wait = std::min({left, timeout_ms, static_cast<long>(INT_MAX)});
    int got = wait > 0 ? mq_get_within(window.msgqid, window.conn_id, item, static_cast<int>(wait),
                                       &status)
                       : 0;
    if (got == 0 && left > timeout_ms)
        MQ_intrp(SIGALRM); // silent for a whole time-out, as every wait on the link
    if (got == 0) {
        std::string why = "took longer than " +
                          std::to_string(deadline_timeouts * mq_timeout_seconds()) +
                          " s, link ended";
        end_link(why.c_str());
        return false;
    }
    if (got < 0) {
        end_link("closed or broke the link");
        return false;
    }
    budget.bytes += std::strlen(item);
    if (++budget.replies > max_replies || budget.bytes > max_bytes) {
        end_link("sent more than 100 replies or 8192 bytes to one request, link ended");
        return false;
    }
    return true;
}

// Reads the replies to a request up to the one that ends it.
void await_end() {
    char item[item_size];
    int status = 0;
    Budget budget;
    while (next_reply(item, status, budget) && status == 0) {
    }
}

// A reply line as the window sends it, without its line end.
std::string reply_value(const char *item) {
    std::string value = item;
    if (!value.empty() && value.back() == '\n')
        value.pop_back();
    return value;
}

// Stores the window's values for one entry; the final status of the reply
// (0 when the link ended before it).
int take_values(const RES_defobj &entry, int index, bool *stored) {
    char item[item_size];
    int status = 0;
    Budget budget;
    while (next_reply(item, status, budget)) {
        if (status != 0)
            return status;
        if (item[0] == '\0' || item[0] == '!' || item[0] == '\n')
            continue;
        std::string value = reply_value(item);
        if (refuse_command(window.name.c_str(), entry.def, value))
            continue; // a window sets values, as a defaults file does: never commands
        if (*stored)
            RES_append(index, entry.def, value.c_str(), entry.cvt);
        else
            RES_new(index, entry.def, value.c_str(), entry.cvt);
        *stored = true;
    }
    return 0;
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
    if (msgqid == mq_not_yours) {
        MESS_print(M_warn, "VARoviz window: %s refused: another user owns it or may use it\n",
                   number);
        return 0;
    }
    int conn_id = msgqid < 0 ? -1 : MQ_connect(msgqid);
    if (conn_id < 0) {
        MESS_print(M_warn, "VARoviz window: %s unable to connect\n", number);
        mq_hang_up();
        return 0;
    }
    window.msgqid = msgqid;
    window.conn_id = conn_id;
    window.deadline_ms = now_ms() + deadline_timeouts * 1000L * mq_timeout_seconds();
    window.name = std::string("VARoviz window: ") + number;
    return 1;
}

// Asks for every resource in turn, stores the answers and hands over the
// values the window lacks, each request answered before the next is sent:
// a window that floods its answer is left before anything more is put on
// the link (a queue it has filled would hold a further request up).
void exchange(const RES_defobj *table) {
    for (int i = 0; table[i].def && window.conn_id != 0; ++i) {
        if (!usable(table[i]))
            continue;
        MQ_put(window.msgqid, window.conn_id, "query res %s", table[i].def);
        bool stored = false;
        int status = take_values(table[i], i, &stored);
        if (window.conn_id == 0)
            break; // ended inside the answer: nothing more is said
        const char *own = RES_get(table[i].def);
        if (!stored && own != nullptr) {
            MQ_put(window.msgqid, window.conn_id, "set res %s %s", table[i].def, own);
            await_end();
        }
        if (status == status_not_running)
            MESS_print(M_warn, "VARoviz not running!\n");
    }
}

} // namespace

int res_window_open(const char *number, const RES_defobj *table) {
    if (number == nullptr || table == nullptr)
        return 0;
    res_window_close();
    if (!open_link(number))
        return 0;
    exchange(table);
    std::signal(SIGALRM, SIG_IGN);
    return window.conn_id != 0 ? 1 : 0;
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
    if (window.conn_id != 0)
        mq_hang_up();
    window = Link{};
    alarm(0);
    std::signal(SIGALRM, SIG_IGN);
    return 1;
}
