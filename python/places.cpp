/*
 * places.cpp - kem.places(): the rows of the raw location tables that
 * kemcity -in KIND prints, chosen by the library's raw-table rules (RAW_),
 * as dicts keyed by column name with numbers as kemcity's JSON gives them.
 * A table is read on every call; only the station database is cached.
 */
#include "module.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using namespace kempy;

/* ------------------------------------------------------------------------
 * Raw location tables
 * ---------------------------------------------------------------------- */

/* The rows of a raw table that a value keeps, as kemcity -in KIND prints
   them: the library's raw-table rules choose them; kept in file order, or
   nearest first around an RA< centre. */
struct Places {
    std::vector<std::string> names; /* the table's columns */
    struct Row {
        std::vector<std::string> fields;
        double dist;
    };
    std::vector<Row> rows;
    bool with_dist = false; /* a "Dist" of the centre goes with each row */
};

bool nearer_row(const Places::Row &a, const Places::Row &b) {
    return a.dist >= 0 && (b.dist < 0 || a.dist < b.dist);
}

Places read_places(const std::string &path, const std::string *value, bool nearest, bool first) {
    struct stat st;
    int fd = open_file(path, st);
    char name[32];
    std::snprintf(name, sizeof name, "/dev/fd/%d", fd);
    RAW_table *table = RAW_open(name);
    if (table == nullptr && plain_path(path))
        table = RAW_open(path.c_str());
    close(fd); /* the table has a stream of its own */
    if (table == nullptr)
        throw FileFailure(EIO, path);
    std::unique_ptr<RAW_table, int (*)(RAW_table *)> owned(table, RAW_close);

    if (RAW_select(table, value != nullptr ? value->c_str() : nullptr) != 0)
        throw py::value_error("Selection value " + *value + ": " + RAW_problem(table));
    bool centre = RAW_centre(table, nullptr, nullptr) == 1;
    if (nearest && !centre)
        throw py::value_error("Parameter nearest needs an RA< value");

    Places places;
    bool own_dist = false;
    for (int i = 0; i < RAW_column_count(table); i++) {
        places.names.emplace_back(RAW_column_name(table, i));
        own_dist = own_dist || stricmp(RAW_column_name(table, i), "Dist") == 0;
    }
    places.with_dist = centre && !own_dist;
    Places::Row row;
    for (int n; (n = RAW_next(table)) >= 0;) {
        row.fields.assign(static_cast<size_t>(n), std::string());
        for (int i = 0; i < n; i++)
            row.fields[static_cast<size_t>(i)] = RAW_field(table, i);
        row.dist = RAW_dist(table);
        if (!nearest) {
            places.rows.push_back(row);
            if (first)
                break;
        } else if (!first) {
            places.rows.push_back(row);
        } else if (places.rows.empty() || nearer_row(row, places.rows[0])) {
            places.rows.assign(1, row);
        }
    }
    if (nearest)
        std::stable_sort(places.rows.begin(), places.rows.end(), nearer_row);
    return places;
}

/* A field as kemcity's JSON gives it: -9999 is None, a text in the form
   of a JSON number is a number (an int without a point or an exponent),
   anything else a text ("01001" stays a text). */
py::object field_value(const std::string &field) {
    if (field == "-9999")
        return py::none();
    if (!OUT_is_number(field.c_str()))
        return text(field.c_str(), field.size());
    bool whole = field.find_first_of(".eE") == std::string::npos;
    PyObject *number = whole ? PyLong_FromString(field.c_str(), nullptr, 10)
                             : PyFloat_FromDouble(std::strtod(field.c_str(), nullptr));
    if (number == nullptr)
        throw py::error_already_set();
    return py::reinterpret_steal<py::object>(number);
}

/* The bundled table of each kind, as kemcity -in names them. */
std::string table_of(const std::string &kind) {
    static const std::pair<const char *, const char *> kinds[] = {
        {"city", "cities.raw"},  {"county", "counties.raw"}, {"cnty", "counties.raw"},
        {"state", "states.raw"}, {"zone", "zones.raw"},      {"upair", "upair.raw"},
        {"radar", "radar.raw"}};
    for (const auto &k : kinds)
        if (kind == k.first)
            return bundled_data_dir + "/" + k.second;
    throw py::value_error("no raw table of kind '" + kind +
                          "': city, county, state, zone, upair or radar");
}

py::list places(std::string kind, py::args values, py::object database, bool nearest, bool first) {
    if (values.size() > 1)
        throw py::value_error("a raw table is selected by one value, not " +
                              std::to_string(values.size()));
    std::string path = database.is_none() ? table_of(kind) : database_path(database);
    std::string value;
    if (values.size() == 1)
        value = selection_value(values[0]);
    Places found = locked(
        [&] { return read_places(path, values.size() == 1 ? &value : nullptr, nearest, first); });
    if (place_type == nullptr)
        throw std::runtime_error("kem._kem is used without the package kem");
    py::list out(found.rows.size());
    for (size_t r = 0; r < found.rows.size(); r++) {
        const Places::Row &row = found.rows[r];
        py::dict record;
        for (size_t i = 0; i < row.fields.size(); i++) {
            /* A field past the named columns is keyed by its position. */
            py::str key =
                i < found.names.size() ? py::str(found.names[i]) : py::str(std::to_string(i + 1));
            record[key] = field_value(row.fields[i]);
        }
        if (found.with_dist)
            record["Dist"] = row.dist >= 0
                                 ? py::object(py::float_(shortest(static_cast<float>(row.dist))))
                                 : py::none();
        out[r] = (*place_type)(record);
    }
    return out;
}

} // namespace

void kempy::define_places(py::module_ &m) {
    m.def("places", &places, py::arg("kind"), py::arg("database") = py::none(),
          py::arg("nearest") = false, py::arg("first") = false,
          "places(kind, *values, database=None, nearest=False, first=False) -> list[Place]\n\n"
          "The rows of a raw location table that kemcity -in KIND prints for the same\n"
          "value: kind 'city', 'county', 'state', 'zone', 'upair' or 'radar' (the\n"
          "bundled table), or database=PATH of a table.  One value at most:\n"
          "'Column=value', a four-character identifier, an identifier or a prefix of\n"
          "Name_ST, or RA<lat:lon:km on a table with Lat and Lon; none keeps every\n"
          "row.  Each row is a dict (kem.Place) keyed by column name, numbers as\n"
          "numbers and -9999 as None, with 'Dist' (km) around an RA< centre.\n"
          "nearest=True sorts by it, first=True keeps the first row only.");
}
