/*
 * raw.cpp - kemcity on a raw location table: the rows the first selection
 * value keeps (the library's raw-table rules), in file order or, around
 * an RA< centre, nearest first, in the columns asked for.
 *
 * A field beyond the named columns is printed without a name; the formats
 * for programs key it by its position, counted from 1.  The Dist column,
 * unless the table has one of its own, is the row's distance in km from
 * the RA< centre.
 */
#include "kemcity.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>

namespace kemcity {

namespace {

/* A printed column: a field of the row, or the distance (field -1). */
constexpr int dist_column = -1;

/* A row kept for printing later, nearest first. */
struct KeptRow {
    std::vector<std::string> fields;
    double dist = -1;
    bool has_position = false;
    float lat = 0, lon = 0;
};

class TableRun {
  public:
    TableRun(const Run &run, RAW_table *table, OUT_writer *out)
        : run_(run), table_(table), out_(out) {}

    /* The columns the output list names, in its order, with a warning for
       each item that names none; all of them without a list. */
    void choose_columns() {
        int count = RAW_column_count(table_);
        if (run_.all_columns) {
            for (int i = 0; i < count; i++)
                columns_.push_back(i);
            if (run_.dist_wanted && !has_column("Dist"))
                columns_.push_back(dist_column);
            return;
        }
        for (int item = 0; item < run_.output->count(); item++) {
            const char *name = (*run_.output)[item];
            bool found = false;
            for (int i = 0; i < count; i++)
                if (stricmp(RAW_column_name(table_, i), name) == 0)
                    columns_.push_back(i), found = true;
            if (!found && stricmp(name, "Dist") == 0)
                columns_.push_back(dist_column), found = true;
            if (!found)
                MESS_print(M_warn, "Output column %s: not a column of %s\n", name,
                           run_.file.c_str());
        }
    }

    void set_names() {
        std::vector<const char *> names;
        for (int column : columns_)
            names.push_back(column == dist_column ? "Dist" : RAW_column_name(table_, column));
        OUT_set_names(out_, static_cast<int>(names.size()), names.data());
    }

    /* Every selected row, printed at once or kept to be printed nearest
       first.  Answers whether any row was selected. */
    bool scan() {
        float lat = 0, lon = 0;
        bool sorted = run_.nearest && RAW_centre(table_, &lat, &lon);
        bool any = false, printing = true;
        std::vector<KeptRow> kept;
        KeptRow row; /* its strings keep their room from row to row */
        for (int n; (n = RAW_next(table_)) >= 0;) {
            any = true;
            row.dist = RAW_dist(table_);
            row.has_position = RAW_position(table_, &row.lat, &row.lon) == 1;
            row.fields.resize(static_cast<size_t>(n));
            for (int i = 0; i < n; i++)
                row.fields[i].assign(RAW_field(table_, i));
            if (!sorted) {
                if (!print(row) || run_.first_only)
                    printing = false;
            } else if (!run_.first_only) {
                kept.push_back(row);
            } else if (kept.empty() || nearer(row, kept[0])) {
                kept.assign(1, row);
            }
            if (!printing)
                break;
        }
        std::stable_sort(kept.begin(), kept.end(), nearer);
        for (const KeptRow &k : kept)
            if (!print(k) || run_.first_only)
                break;
        return any;
    }

  private:
    bool has_column(const char *name) const {
        for (int i = 0; i < RAW_column_count(table_); i++)
            if (stricmp(RAW_column_name(table_, i), name) == 0)
                return true;
        return false;
    }

    static bool nearer(const KeptRow &a, const KeptRow &b) {
        return a.dist >= 0 && (b.dist < 0 || a.dist < b.dist);
    }

    void put(const char *name, const std::string &value) {
        OUT_put_field(out_, name, value.c_str(), OUT_any);
    }

    void put_dist(double dist) {
        char text[32];
        if (dist < 0)
            snprintf(text, sizeof text, "%d", KEM_MISSING);
        else
            snprintf(text, sizeof text, "%.1f", dist);
        OUT_put_field(out_, "Dist", text, OUT_measure);
    }

    bool print(const KeptRow &row) {
        if (row.has_position)
            OUT_put_position(out_, row.lat, row.lon);
        int count = RAW_column_count(table_);
        for (int column : columns_) {
            if (column == dist_column)
                put_dist(row.dist);
            else if (column < static_cast<int>(row.fields.size()))
                put(RAW_column_name(table_, column), row.fields[column]);
            else if (run_.format == OUT_csv)
                put(nullptr, ""); /* a short row keeps its cells in their columns */
        }
        /* Fields past the named columns, printed with every column. */
        for (size_t i = count; run_.all_columns && i < row.fields.size(); i++) {
            char position[16];
            *std::to_chars(position, position + sizeof position - 1, i + 1).ptr = '\0';
            put(run_.records_only() ? position : nullptr, row.fields[i]);
        }
        return OUT_end_record(out_) == 0;
    }

    const Run &run_;
    RAW_table *table_;
    OUT_writer *out_;
    std::vector<int> columns_;
};

} // namespace

int read_table(const Run &run, int &lost) {
    RAW_table *table = run.path_fits ? RAW_open(run.path) : nullptr;
    const char *value = run.values.empty() ? nullptr : run.values[0];
    if (table != nullptr && RAW_select(table, value) != 0)
        MESS_print(M_warn, "Selection value %s: %s\n", value, RAW_problem(table));
    if (run.nearest && !RAW_centre(table, nullptr, nullptr))
        MESS_print(M_warn, "Parameter nearest needs an RA< value: records in file order\n");
    if (table == nullptr)
        return input_unopened("Raw", run);
    OUT_writer *out = OUT_open(run.format);
    bool any = false;
    if (out != nullptr) {
        TableRun rows(run, table, out);
        rows.choose_columns();
        rows.set_names();
        any = rows.scan();
    }
    lost = OUT_close(out);
    RAW_close(table);
    if (run.missing && value != nullptr && !any && !strchr(value, '=') &&
        strnicmp(value, "RA<", 3) != 0)
        warn_unmatched({value});
    return 0;
}

} // namespace kemcity
