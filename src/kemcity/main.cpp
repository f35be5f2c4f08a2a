/*
 * main.cpp - the CITY DETERMINATION PROGRAM: start-up and the choice of
 * input.
 *
 * Looks up stations, cities, counties, states, forecast zones, upper-air
 * sites and radars.  The input is either the station database (records
 * matched by the selection expressions of the library, dbase.cpp) or one
 * of the raw location tables (raw.cpp).  Every kept record is printed on
 * one line through the library's record writer.
 *
 * Flags of the `parameter` resource: "first" prints the first kept record
 * only; "nearest" prints the kept records nearest first, by their
 * distance from the centre of the first RA< selection value (the "Dist"
 * column); "json", "csv" and "geojson" print the records for programs (one
 * JSON object a line; CSV with a header row; one GeoJSON feature
 * collection); "missing" names, after the scan, the plain values that
 * selected nothing.  Other flags are warned about and ignored.
 *
 * A value "@FILE" stands for the lines of FILE ("@-": standard input), a
 * value a line, blank lines and lines starting with '#' skipped.  An input
 * file not found where the resources say is looked for in the data
 * directory of the installation the program belongs to.
 *
 * Exit status: 0, 10 when the input file (or a file of values) cannot be
 * opened, or 1 when the output could not be written (a full disk, a
 * closed standard output).
 */
#include "kemcity.h"
#include "text.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace kemcity {

namespace {

const res_type keyed_options[] = {RES_help,      RES_batch,      RES_message, RES_file_path,
                                  RES_city_file, RES_stat_prior, RES_input,   RES_output,
                                  RES_parameter, RES_null};
const res_type positional_options[] = {RES_values, RES_null};

/* A closed standard output is held by a descriptor that cannot be
   written, so that no file opened later takes its number (and receives
   the output) and every write fails as it should. */
void hold_closed_stdout() {
    if (fcntl(STDOUT_FILENO, F_GETFD) != -1 || errno != EBADF)
        return;
    int fd = open("/dev/null", O_RDONLY);
    if (fd >= 0 && fd != STDOUT_FILENO) {
        dup2(fd, STDOUT_FILENO);
        close(fd);
    }
}

int print_help() {
    char prog[KEM_PATH_MAX];
    RES_get_progname(prog);
    MESS_print(M_print, "%s: This program determines a KEM file name\n", prog);
    RES_help_print(prog, keyed_options, positional_options);
    return 0;
}

/* The input kind and file name chosen by `city_file` and `input`. */
void choose_input(Run &run) {
    static const struct {
        const char *keyword;
        const char *file;
    } kinds[] = {{"cnty", "counties.raw"}, {"state", "states.raw"}, {"city", "cities.raw"},
                 {"zone", "zones.raw"},    {"upair", "upair.raw"},  {"radar", "radar.raw"}};

    const char *city_file = RES_get("city_file");
    const char *input = RES_get("input");
    if (city_file) {
        /* An empty name leaves the database at its default, as the
           database module does when it opens it. */
        run.dbase = true;
        run.file = *city_file ? city_file : "sao.cty";
        return;
    }
    if (!input) {
        run.file = "cities.raw";
        return;
    }
    if (stricmp(input, "dbase") == 0) {
        run.dbase = true;
        run.file = "sao.cty";
        return;
    }
    run.file = input;
    for (const auto &kind : kinds)
        if (stricmp(input, kind.keyword) == 0)
            run.file = kind.file;
}

/* The settings of the display-window link share the resource (MQ_params). */
bool link_setting(const char *flag) {
    for (const char *key : {"to=", "qtype=", "qoffset="})
        if (strnicmp(flag, key, static_cast<int>(strlen(key))) == 0)
            return true;
    return false;
}

/* The flags of the `parameter` resource; one output format, the first
   given. */
void read_parameters(Run &run) {
    static const struct {
        const char *flag;
        OUT_format format;
    } formats[] = {{"json", OUT_json}, {"csv", OUT_csv}, {"geojson", OUT_geojson}};
    Items parameters("parameter");
    for (int i = 0; i < parameters.count(); i++) {
        const char *flag = parameters[i];
        bool known = true;
        if (stricmp(flag, "first") == 0)
            run.first_only = true;
        else if (stricmp(flag, "nearest") == 0)
            run.nearest = true;
        else if (stricmp(flag, "missing") == 0)
            run.missing = true;
        else
            known = link_setting(flag);
        for (const auto &f : formats) {
            if (stricmp(flag, f.flag) != 0)
                continue;
            known = true;
            if (run.format == OUT_plain)
                run.format = f.format;
            else if (run.format != f.format)
                MESS_print(M_warn, "Parameter %s: one output format at a time, the first given\n",
                           flag);
        }
        if (!known)
            MESS_print(M_warn, "Parameter %s: not a flag (first nearest json csv geojson missing)\n",
                       flag);
    }
}

/* The values: the words given, and for each "@FILE" the lines of FILE.
   False after an error naming a file that cannot be read. */
bool read_values(Run &run, const Items &values, std::vector<std::string> &from_files) {
    std::vector<std::pair<int, size_t>> order; /* the word, or the line of a file */
    for (int i = 0; i < values.count(); i++) {
        const char *value = values[i];
        if (value[0] != '@' || value[1] == '\0') {
            order.emplace_back(i, 0);
            continue;
        }
        FILE *in = strcmp(value + 1, "-") == 0 ? stdin : fopen(value + 1, "r");
        if (in == nullptr) {
            MESS_print(M_error, "Values file not found: %s\n", value + 1);
            return false;
        }
        std::string line;
        bool cut = false;
        while (read_line(in, line, KEM_LINE_MAX, cut) >= 0) {
            const char *start = skip_blanks(line.c_str());
            std::string word(start, skip_word(start));
            if (word.empty() || word[0] == '#')
                continue;
            from_files.push_back(word);
            order.emplace_back(-1, from_files.size() - 1);
        }
        if (in != stdin)
            fclose(in);
    }
    for (const auto &[word, line] : order) {
        char *value = word >= 0 ? values.items()[word] : from_files[line].data();
        run.values.push_back(value[0] == '/' ? value + 1 : value);
    }
    return true;
}

/* A file that is not where the resources put it is looked for in the data
   directory of this program's installation (KEM_DATA_FROM_BIN, relative
   to the directory of the executable), when no file_path is set. */
void find_installed(Run &run) {
#ifdef KEM_DATA_FROM_BIN
    if (RES_get("file_path") != nullptr || FILE_is_stdio(run.path) || run.path[0] == '|' ||
        FILE_fullpath(run.path) || access(run.path, F_OK) == 0)
        return;
    char exe[KEM_PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0 || n >= static_cast<ssize_t>(sizeof exe) - 1)
        return;
    exe[n] = '\0';
    std::string dir(exe, strrchr(exe, '/') - exe);
    std::string there = dir + "/" KEM_DATA_FROM_BIN "/" + run.path;
    if (there.size() < sizeof run.path && access(there.c_str(), R_OK) == 0)
        memcpy(run.path, there.c_str(), there.size() + 1);
#else
    (void)run;
#endif
}

/* Output that could not be written fails the run, so that a script can
   tell that it was lost. */
int check_output(int status, int lost) {
    errno = 0;
    if (lost == 0 && fflush(stdout) == 0 && !ferror(stdout))
        return status;
    int cause = lost != 0 ? lost : errno != 0 ? errno : EIO;
    MESS_print(M_error, "Output not written: %s\n", strerror(cause));
    return status != 0 ? status : status_write_failed;
}

/* A lookup after start-up: the flags, the banner, the input chosen and
   searched. */
int look_up() {
    Run run;
    read_parameters(run);
    if (!run.records_only())
        MESS_print_prog("CITY DETERMINATION PROGRAM");

    choose_input(run);
    run.path_fits = FILE_add_path(RES_get("file_path"), run.file.c_str(), run.path) != nullptr;
    if (run.path_fits)
        find_installed(run);
    if (!run.records_only())
        MESS_print(M_mess, "Opening: %s\n", run.file.c_str());

    Items values("value");
    std::vector<std::string> from_files;
    if (!read_values(run, values, from_files))
        return check_output(status_not_found, 0);
    Items output("output");
    run.output = &output;
    run.all_columns = output.count() == 0 || output.contains("all");
    run.dist_wanted = output.contains("Dist");

    int lost = 0;
    int status = run.dbase ? search_database(run, lost) : read_table(run, lost);
    return check_output(status, lost);
}

} // namespace

void warn_unmatched(const std::vector<const char *> &names) {
    if (names.empty())
        return;
    std::string list;
    for (const char *name : names)
        list += (list.empty() ? "" : ", ") + std::string(name);
    MESS_print(M_warn, "No match: %s\n", list.c_str());
}

int input_unopened(const char *kind, const Run &run) {
    if (run.path_fits)
        MESS_print(M_error, "%s File not found: %s\n", kind, run.path);
    else
        MESS_print(M_error, "%s File name too long: %s...\n", kind, run.path);
    return status_not_found;
}

int kemcity_main(int argc, char **argv) {
    hold_closed_stdout();
    MESS_set(0, M_warn);
    RES_init(argc, argv, keyed_options, positional_options);
    if (FLAG_help())
        return check_output(print_help(), 0);
    return look_up();
}

} // namespace kemcity
