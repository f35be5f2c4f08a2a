/*
 * raw.cpp - kemcity on a raw location table: three header lines, a line
 * of column names, then one row of whitespace-separated fields per line.
 *
 * Only the first selection value filters a table: "Column=value" (any
 * column holding the value, in any case), a four-character identifier,
 * or an identifier or a prefix of the row's "Name_ST".  Limits: 25
 * columns a line; column names of 29 characters, fields of 119, "=" keys
 * of 9 and formed name_state keys of 49 are kept, longer ones cut.
 */
#include "kemcity.h"
#include "text.h"

#include <charconv>
#include <cstring>

namespace kemcity {

namespace {

constexpr size_t max_columns = 25;
constexpr size_t max_col_name = 29;
constexpr size_t max_field = 119;
constexpr size_t max_value_key = 9;
constexpr size_t max_name_state = 49;

using Row = std::vector<std::string>;

struct Table {
    Row columns;
    int name_col = -1, st_col = -1, id_col = -1; /* the last column of each name */

    void set_columns(Row names) {
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
    static const char *field(const Row &row, int col) {
        return col >= 0 && col < static_cast<int>(row.size()) ? row[col].c_str() : nullptr;
    }
};

/* "key=value": some column named key holds value.  A key longer than the
   longest key kept names no column. */
bool match_key_value(const Table &table, const Row &row, const char *value) {
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
bool match_name_state(const Table &table, const Row &row, const char *value) {
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

bool row_matches(const Table &table, const Row &row, const char *value) {
    if (strchr(value, '='))
        return match_key_value(table, row, value);
    const char *id = Table::field(row, table.id_col);
    if (id && stricmp(value, id) == 0)
        return true;
    if (strlen(value) == 4)
        return false;
    return match_name_state(table, row, value);
}

/* A field beyond the named columns is printed without a name; as JSON
   its key is its position, counted from 1. */
void print_field(const Run &run, OUT_writer *out, const Table &table, const Row &row, size_t i) {
    const char *name = i < table.columns.size() ? table.columns[i].c_str() : nullptr;
    char position[16];
    if (run.json && !name) {
        *std::to_chars(position, position + sizeof position - 1, i + 1).ptr = '\0';
        name = position;
    }
    OUT_put_field(out, name, row[i].c_str(), OUT_text);
}

bool print_row(const Run &run, OUT_writer *out, const Table &table, const Row &row) {
    if (run.all_columns) {
        for (size_t i = 0; i < row.size(); i++)
            print_field(run, out, table, row, i);
    } else {
        for (int item = 0; item < run.output->count(); item++)
            for (size_t i = 0; i < row.size() && i < table.columns.size(); i++)
                if (stricmp(table.columns[i].c_str(), (*run.output)[item]) == 0)
                    print_field(run, out, table, row, i);
    }
    return OUT_end_record(out) == 0;
}

void print_rows(FILE *in, const Run &run, const Table &table, OUT_writer *out) {
    char line[KEM_LINE_MAX + 1];
    Row row;
    const char *value = run.values.empty() ? nullptr : run.values[0];
    /* A plain value stands in the line of every row it matches, as the
       identifier or as the start of "Name_ST" (the part before its first
       '_'), in either case: other lines are not split. */
    std::string stands =
        value && !strchr(value, '=') ? std::string(value, strcspn(value, "_")) : "";
    while (fgetnline(in, line, KEM_LINE_MAX) >= 0) {
        if (!stands.empty() && !strcasestr(line, stands.c_str()))
            continue;
        split_words(line, max_columns, max_field, row);
        if (value && !row_matches(table, row, value))
            continue;
        if (!print_row(run, out, table, row) || run.first_only)
            break;
    }
}

/* The header, the column names, then the rows. */
int search_table(FILE *in, const Run &run) {
    char line[KEM_LINE_MAX + 1];
    for (int i = 0; i < 3; i++)
        if (fgetline(in, line) < 0)
            return 0;
    if (fgetnline(in, line, KEM_LINE_MAX) < 0)
        return 0;
    Row names;
    split_words(line, max_columns, max_col_name, names);
    Table table;
    table.set_columns(std::move(names));

    OUT_writer *out = OUT_open(run.format());
    if (out != nullptr)
        print_rows(in, run, table, out);
    return OUT_close(out);
}

} // namespace

int read_table(const Run &run, int &lost) {
    if (run.nearest)
        MESS_print(M_warn, "Parameter nearest needs an RA< value: records in file order\n");
    FILE *in = run.path_fits ? FILE_open(run.path, "r") : nullptr;
    if (!in)
        return input_unopened("Raw", run);
    lost = search_table(in, run);
    FILE_close(in);
    return 0;
}

} // namespace kemcity
