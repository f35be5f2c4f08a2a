/*
 * kemcity.cpp - the CITY DETERMINATION PROGRAM.
 *
 * Looks up stations, cities, counties, states, forecast zones, upper-air
 * sites and radars.  The input is either the station database (records
 * matched by the selection expressions of the library) or one of the raw
 * location tables: three header lines, a line of column names, then one
 * row of whitespace-separated fields per line.  Every kept record is
 * printed on one line, its values as `print` messages and, at the out1
 * message level, each preceded by its column name and "=".
 *
 * Exit status: 0, or 10 when the input file cannot be opened.
 */
#include "kem.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

const res_type keyed_options[] = {RES_help,      RES_batch,      RES_message, RES_file_path,
                                  RES_city_file, RES_stat_prior, RES_input,   RES_output,
                                  RES_parameter, RES_null};
const res_type positional_options[] = {RES_values, RES_null};

/* Limits of a raw table: columns per line, and the longest column name,
   field, "=" key and formed name_state key that are kept. */
constexpr size_t max_columns = 25;
constexpr size_t max_col_name = 29;
constexpr size_t max_field = 119;
constexpr size_t max_value_key = 9;
constexpr size_t max_name_state = 49;

/* Items of a list resource, freed when the holder goes out of scope. */
class Items {
  public:
    explicit Items(const char *resource) { RES_getvals(resource, &count_, &items_); }
    ~Items() { free_parsed_array(count_, items_); }
    Items(const Items &) = delete;
    Items &operator=(const Items &) = delete;

    int count() const { return count_; }
    char **items() const { return items_; }
    const char *operator[](int i) const { return items_[i]; }

    bool contains(const char *word) const {
        for (int i = 0; i < count_; i++)
            if (stricmp(items_[i], word) == 0)
                return true;
        return false;
    }

  private:
    int count_ = 0;
    char **items_ = nullptr;
};

struct Run {
    bool first_only = false;
    std::vector<char *> values; /* selection values, leading '/' removed */
    const Items *output = nullptr;
    bool all_columns = true;
    std::string file;          /* bare file name */
    char path[KEM_PATH_MAX]{}; /* full path */
    bool path_fits = true;     /* false: the path was cut and is not opened */
    bool dbase = false;
};

/* ---- Start-up ------------------------------------------------------- */

void print_help() {
    char *prog = RES_get_progname(nullptr);
    MESS_print(M_print, "%s: This program determines a KEM file name\n", prog);
    RES_help_print(prog, keyed_options, positional_options);
    KEM_exit(0);
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

/* Ends the run for an input file that cannot be opened: `kind` is "Raw"
   or "DBase".  A path cut to fit its buffer is reported as such. */
[[noreturn]] void input_unopened(const char *kind, const Run &run) {
    if (run.path_fits)
        MESS_print(M_error, "%s File not found: %s\n", kind, run.path);
    else
        MESS_print(M_error, "%s File name too long: %s...\n", kind, run.path);
    KEM_exit(10);
}

/* ---- Station database ----------------------------------------------- */

const char *const station_columns[] = {"Name", "ST", "CN", "ID", "P", "Lat", "Lon", "Elev", "WMO"};
constexpr int num_station_columns = 9;

/* The text of one column of a station, as the column is printed. */
std::string station_value(const CTY_data &city, int column) {
    char text[64];
    switch (column) {
    case 0:
        return city.name;
    case 1:
        return city.state;
    case 2:
        return city.region;
    case 3:
        return city.id;
    case 4:
        snprintf(text, sizeof text, "%d", city.prior);
        break;
    case 5:
        snprintf(text, sizeof text, "%3.2f", city.lat);
        break;
    case 6:
        snprintf(text, sizeof text, "%3.2f", city.lon);
        break;
    case 7:
        snprintf(text, sizeof text, "%1.0f", city.el);
        break;
    default:
        snprintf(text, sizeof text, "%05d", city.wmo);
        break;
    }
    return text;
}

void print_station_column(const CTY_data &city, int column) {
    MESS_print(M_out1, "%s=", station_columns[column]);
    MESS_print(M_print, "%s ", station_value(city, column).c_str());
}

void print_station_record(const Run &run, const CTY_data &city) {
    if (run.all_columns) {
        for (int column = 0; column < num_station_columns; column++)
            print_station_column(city, column);
    } else {
        for (int item = 0; item < run.output->count(); item++)
            for (int column = 0; column < num_station_columns; column++)
                if (stricmp((*run.output)[item], station_columns[column]) == 0)
                    print_station_column(city, column);
    }
    MESS_print(M_print, "\n");
}

void search_database(Run &run) {
    int num_stats = 0;
    int fd = CTY_open_file("sao.cty", &num_stats);
    if (fd < 0)
        input_unopened("DBase", run);
    CTY_rewind(fd);
    CTY_data city;
    while (CTY_read(fd, &city) > 0) {
        trim_string(city.name);
        fill_string(city.name, ' ', '_');
        if (!run.values.empty() &&
            CTY_data_cmp(static_cast<int>(run.values.size()), run.values.data(), &city) == -1)
            continue;
        print_station_record(run, city);
        if (run.first_only)
            break;
    }
    CTY_close(fd);
    KEM_exit(0);
}

/* ---- Raw tables ----------------------------------------------------- */

/* Splits a line at white space into at most max_columns words, each cut
   to `width` characters. */
std::vector<std::string> split_words(const char *line, size_t width) {
    static constexpr std::string_view blanks = " \t\r\n\v\f";
    std::vector<std::string> words;
    std::string_view rest(line);
    while (words.size() < max_columns) {
        size_t start = rest.find_first_not_of(blanks);
        if (start == std::string_view::npos)
            break;
        rest.remove_prefix(start);
        size_t end = std::min(rest.find_first_of(blanks), rest.size());
        words.emplace_back(rest.substr(0, std::min(end, width)));
        rest.remove_prefix(end);
    }
    return words;
}

struct Table {
    std::vector<std::string> columns;
    int name_col = -1, st_col = -1, id_col = -1; /* the last column of each name */

    void set_columns(std::vector<std::string> names) {
        columns = std::move(names);
        for (int i = 0; i < static_cast<int>(columns.size()); i++) {
            if (stricmp(columns[i].c_str(), "Name") == 0)
                name_col = i;
            if (stricmp(columns[i].c_str(), "ST") == 0)
                st_col = i;
            if (stricmp(columns[i].c_str(), "ID") == 0)
                id_col = i;
        }
    }

    /* The row's field of a column, or null when the row is too short or
       the table has no such column. */
    static const char *field(const std::vector<std::string> &row, int col) {
        return col >= 0 && col < static_cast<int>(row.size()) ? row[col].c_str() : nullptr;
    }
};

bool equal_nocase(const char *a, const char *b) {
    return a && b && stricmp(a, b) == 0;
}

/* "key=value": some column named key holds value.  A key longer than the
   longest key kept names no column. */
bool match_key_value(const Table &table, const std::vector<std::string> &row, const char *value) {
    const char *eq = strchr(value, '=');
    std::string key(value, eq);
    if (key.size() > max_value_key)
        return false;
    for (size_t i = 0; i < table.columns.size() && i < row.size(); i++)
        if (stricmp(table.columns[i].c_str(), key.c_str()) == 0 &&
            stricmp(row[i].c_str(), eq + 1) == 0)
            return true;
    return false;
}

/* The value is a prefix of "Name_ST", the formed key cut to its limit. */
bool match_name_state(const Table &table, const std::vector<std::string> &row, const char *value) {
    const char *name = Table::field(row, table.name_col);
    const char *state = Table::field(row, table.st_col);
    if (!name || !state)
        return false;
    std::string key = std::string(name) + "_" + state;
    if (key.size() > max_name_state)
        key.resize(max_name_state);
    size_t len = strlen(value);
    return len <= key.size() &&
           (len == 0 || strnicmp(value, key.c_str(), static_cast<int>(len)) == 0);
}

bool row_matches(const Table &table, const std::vector<std::string> &row, const char *value) {
    if (strchr(value, '='))
        return match_key_value(table, row, value);
    if (equal_nocase(value, Table::field(row, table.id_col)))
        return true;
    if (strlen(value) == 4)
        return false;
    return match_name_state(table, row, value);
}

void print_field(const Table &table, const std::vector<std::string> &row, size_t i) {
    if (i < table.columns.size())
        MESS_print(M_out1, "%s=", table.columns[i].c_str());
    MESS_print(M_print, "%s ", row[i].c_str());
}

void print_row(const Run &run, const Table &table, const std::vector<std::string> &row) {
    if (run.all_columns) {
        for (size_t i = 0; i < row.size(); i++)
            print_field(table, row, i);
    } else {
        for (int item = 0; item < run.output->count(); item++)
            for (size_t i = 0; i < row.size() && i < table.columns.size(); i++)
                if (stricmp(table.columns[i].c_str(), (*run.output)[item]) == 0)
                    print_field(table, row, i);
    }
    MESS_print(M_print, "\n");
}

void search_table(FILE *in, const Run &run) {
    char line[KEM_LINE_MAX + 1];
    for (int i = 0; i < 3; i++)
        if (fgetline(in, line) < 0)
            return;
    if (fgetnline(in, line, KEM_LINE_MAX) < 0)
        return;
    Table table;
    table.set_columns(split_words(line, max_col_name));

    while (fgetnline(in, line, KEM_LINE_MAX) >= 0) {
        std::vector<std::string> row = split_words(line, max_field);
        if (!run.values.empty() && !row_matches(table, row, run.values[0]))
            continue;
        print_row(run, table, row);
        if (run.first_only)
            break;
    }
}

void read_table(const Run &run) {
    FILE *in = run.path_fits ? FILE_open(run.path, "r") : nullptr;
    if (!in)
        input_unopened("Raw", run);
    search_table(in, run);
    FILE_close(in);
    KEM_exit(0);
}

} // namespace

int main(int argc, char **argv) {
    MESS_set(0, M_warn);
    RES_init(argc, argv, keyed_options, positional_options);
    if (FLAG_help())
        print_help();

    Run run;
    {
        Items parameters("parameter");
        run.first_only = parameters.contains("first");
    }
    MESS_print_prog("CITY DETERMINATION PROGRAM");

    choose_input(run);
    run.path_fits = FILE_add_path(RES_get("file_path"), run.file.c_str(), run.path) != nullptr;
    MESS_print(M_mess, "Opening: %s\n", run.file.c_str());

    Items values("value");
    for (int i = 0; i < values.count(); i++) {
        char *value = values.items()[i];
        run.values.push_back(value[0] == '/' ? value + 1 : value);
    }
    Items output("output");
    run.output = &output;
    run.all_columns = output.count() == 0 || output.contains("all");

    if (run.dbase)
        search_database(run);
    read_table(run);
    return 0;
}
