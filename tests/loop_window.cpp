/*
 * loop_window - a stand-in for one window of the looping display program,
 * for the tests.  It creates window N on the server side of the link and
 * answers, until told to stop:
 *   "query res NAME"        one reply per value (status 0, the value and a
 *                           line end), then status 1 with no text;
 *   "set res NAME VALUE"    the value replaces NAME's values; status 1 "ok";
 *   "quit"                  status -2 "bye", the end of a conversation;
 *   "status N"              status N with the request as its text;
 *   anything else           status 1 with the request as its text.
 *
 *   loop_window [-s] [-n] [-o offset] [-t table] [-d dump] [-r ready]
 *               [-c conversations] [-f NAME=TEXT] [-w ms] N
 * -s speaks over sockets, -n sends values without the line end, -t reads
 * the table from lines NAME=VALUE (a name may repeat), -d writes the table
 * in that form after every change and at the end, -r writes a file once
 * the window exists, -c stops after that many conversations, -f answers a
 * query for NAME with TEXT over and over until the client stops taking
 * it, -w waits that many milliseconds before every reply.  SIGTERM stops
 * it; it never runs longer than a minute.  The window is removed at the end.
 * Exit status 0, or 2 when the window cannot be made.
 */
#include "kem.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using Table = std::map<std::string, std::vector<std::string>>;

volatile sig_atomic_t stop = 0;

void on_term(int) {
    stop = 1;
}

struct Options {
    bool line_end = true;
    std::string table, dump, ready;
    int conversations = -1;
    int window = 0;
    std::string flood_name, flood_text; // -f
    int wait_ms = 0;                    // -w
};

const Options *options = nullptr;

// Every reply goes through here, after the wait of -w; false when it
// could not be sent.
bool reply(int q, int conn, int status, const std::string &text) {
    if (options->wait_ms > 0)
        usleep(static_cast<useconds_t>(options->wait_ms) * 1000);
    return MQ_sput(q, conn, status, "%s", text.c_str()) >= 0;
}

Table read_table(const std::string &file) {
    Table table;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        size_t eq = line.find('=');
        if (eq != std::string::npos)
            table[line.substr(0, eq)].push_back(line.substr(eq + 1));
    }
    return table;
}

void dump_table(const Table &table, const std::string &file) {
    if (file.empty())
        return;
    std::ofstream out(file + ".new");
    for (const auto &[name, values] : table)
        for (const std::string &value : values)
            out << name << '=' << value << '\n';
    out.close();
    std::rename((file + ".new").c_str(), file.c_str());
}

// Answers one request; true when it ended a conversation.
bool answer(int q, int conn, const std::string &request, Table &table, const Options &opt) {
    if (request.rfind("query res ", 0) == 0) {
        std::string name = request.substr(10);
        if (name == opt.flood_name) {
            while (!stop && reply(q, conn, 0, opt.flood_text)) {
            }
            return false;
        }
        for (const std::string &value : table[name])
            reply(q, conn, 0, value + (opt.line_end ? "\n" : ""));
        reply(q, conn, 1, "");
    } else if (request.rfind("set res ", 0) == 0) {
        std::string rest = request.substr(8);
        size_t blank = rest.find(' ');
        std::string value = blank == std::string::npos ? "" : rest.substr(blank + 1);
        table[rest.substr(0, blank)] = {value};
        dump_table(table, opt.dump);
        reply(q, conn, 1, "ok");
    } else if (request == "quit") {
        reply(q, conn, -2, "bye");
        return true;
    } else if (request.rfind("status ", 0) == 0) {
        reply(q, conn, std::atoi(request.c_str() + 7), request);
    } else {
        reply(q, conn, 1, request);
    }
    return false;
}

void serve(int q, Table &table, const Options &opt) {
    time_t end = time(nullptr) + 60;
    int done = 0;
    while (!stop && time(nullptr) < end && done != opt.conversations) {
        int conn = -1;
        char item[124] = "";
        int got = MQ_sget(q, &conn, item);
        if (got == 1 && answer(q, conn, item, table, opt))
            ++done;
        else if (got <= 0)
            usleep(2000);
    }
}

bool parse(int argc, char **argv, Options &opt) {
    int c;
    while ((c = getopt(argc, argv, "sno:t:d:r:c:f:w:")) != -1) {
        switch (c) {
        case 's':
            MQ_settype(1);
            break;
        case 'n':
            opt.line_end = false;
            break;
        case 'o':
            MQ_offset(std::atoi(optarg));
            break;
        case 't':
            opt.table = optarg;
            break;
        case 'd':
            opt.dump = optarg;
            break;
        case 'r':
            opt.ready = optarg;
            break;
        case 'c':
            opt.conversations = std::atoi(optarg);
            break;
        case 'f': {
            std::string flood = optarg;
            size_t eq = flood.find('=');
            opt.flood_name = flood.substr(0, eq);
            opt.flood_text = eq == std::string::npos ? "" : flood.substr(eq + 1);
            break;
        }
        case 'w':
            opt.wait_ms = std::atoi(optarg);
            break;
        default:
            return false;
        }
    }
    if (optind + 1 != argc)
        return false;
    opt.window = std::atoi(argv[optind]);
    return true;
}

} // namespace

int main(int argc, char **argv) {
    Options opt;
    if (!parse(argc, argv, opt))
        return 64;
    options = &opt;
    std::signal(SIGTERM, on_term);
    std::signal(SIGINT, on_term);
    Table table = opt.table.empty() ? Table{} : read_table(opt.table);
    int q = MQ_create(opt.window);
    if (q < 0)
        return 2;
    dump_table(table, opt.dump);
    if (!opt.ready.empty())
        std::ofstream(opt.ready) << getpid() << '\n';
    serve(q, table, opt);
    dump_table(table, opt.dump);
    MQ_del(q);
    return 0;
}
