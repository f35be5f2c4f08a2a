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
 *               [-c conversations] N
 * -s speaks over sockets, -n sends values without the line end, -t reads
 * the table from lines NAME=VALUE (a name may repeat), -d writes the table
 * in that form after every change and at the end, -r writes a file once
 * the window exists, -c stops after that many conversations.  SIGTERM stops
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
};

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
        for (const std::string &value : table[request.substr(10)])
            MQ_sput(q, conn, 0, "%s%s", value.c_str(), opt.line_end ? "\n" : "");
        MQ_sput(q, conn, 1, "%s", "");
    } else if (request.rfind("set res ", 0) == 0) {
        std::string rest = request.substr(8);
        size_t blank = rest.find(' ');
        std::string value = blank == std::string::npos ? "" : rest.substr(blank + 1);
        table[rest.substr(0, blank)] = {value};
        dump_table(table, opt.dump);
        MQ_sput(q, conn, 1, "ok");
    } else if (request == "quit") {
        MQ_sput(q, conn, -2, "bye");
        return true;
    } else if (request.rfind("status ", 0) == 0) {
        MQ_sput(q, conn, std::atoi(request.c_str() + 7), "%s", request.c_str());
    } else {
        MQ_sput(q, conn, 1, "%s", request.c_str());
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
    while ((c = getopt(argc, argv, "sno:t:d:r:c:")) != -1) {
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
