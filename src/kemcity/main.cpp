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
 * only; "nearest" prints the kept stations nearest first, by their
 * distance from the centre of the first RA< selection value (the "Dist"
 * column); "json" prints every record as one JSON object on a line.
 * Other flags are ignored.
 *
 * Exit status: 0, 10 when the input file cannot be opened, or 1 when the
 * output could not be written (a full disk, a closed standard output).
 */
#include "kemcity.h"

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
    {
        Items parameters("parameter");
        run.first_only = parameters.contains("first");
        run.nearest = parameters.contains("nearest");
        run.json = parameters.contains("json");
    }
    /* JSON lines hold records only. */
    if (!run.json)
        MESS_print_prog("CITY DETERMINATION PROGRAM");

    choose_input(run);
    run.path_fits = FILE_add_path(RES_get("file_path"), run.file.c_str(), run.path) != nullptr;
    if (!run.json)
        MESS_print(M_mess, "Opening: %s\n", run.file.c_str());

    Items values("value");
    for (int i = 0; i < values.count(); i++) {
        char *value = values.items()[i];
        run.values.push_back(value[0] == '/' ? value + 1 : value);
    }
    Items output("output");
    run.output = &output;
    run.all_columns = output.count() == 0 || output.contains("all");
    run.dist_wanted = output.contains("Dist");

    int lost = 0;
    int status = run.dbase ? search_database(run, lost) : read_table(run, lost);
    return check_output(status, lost);
}

} // namespace

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
