/*
 * _kem.cpp - the extension module kem._kem: station lookups through the
 * library's own reader, selection and distance, rows of the raw location
 * tables through its raw-table rules, and the surface calculations over
 * floats or NumPy arrays.  The package kem (kem/__init__.py) wraps it;
 * the record types Station and Place are defined there and handed over
 * once, at import, with the directory of the bundled data.
 *
 * The station database is read once per file and kept in memory while
 * the file stays the same (device, inode, size and modification time);
 * each lookup then prepares its selection (CTY_select_new) and asks
 * CTY_select_cmp about the records.  Plain values (identifiers, station
 * numbers, name prefixes) are answered through an index of the records'
 * identifiers, numbers and names, which proposes the records such a value
 * can select (never fewer); CTY_select_cmp still decides each one, so the
 * answer is the one a scan of the file would give.
 *
 * The library keeps process-wide state (the open database, the message
 * level), and so does the cache here: every lookup holds one lock, taken
 * with the interpreter lock released, so that calls from several Python
 * threads run one after another and never interleave.  The library's
 * messages are switched off at import (MESS_set(0, 0)): nothing is printed,
 * and what the library would warn about is raised as an exception.
 */
#include "kem.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace py = pybind11;

namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

/* Held by every call that touches the library or the cache. */
std::mutex library_lock;

/* Runs `work` holding the library lock, with the interpreter lock released
   meanwhile (it is taken back before anything propagates). */
template <class Work> auto locked(Work work) {
    py::gil_scoped_release released;
    std::lock_guard<std::mutex> guard(library_lock);
    return work();
}

/* An operating-system failure on a file, raised as the OSError of its
   errno (FileNotFoundError for ENOENT ...) naming the file. */
struct FileFailure : std::runtime_error {
    FileFailure(int e, std::string p) : std::runtime_error(p), err(e), path(std::move(p)) {}
    int err;
    std::string path;
};

/* ------------------------------------------------------------------------
 * Numbers as kemcity's JSON gives them
 * ---------------------------------------------------------------------- */

/* The double of the shortest decimal text that reads back to `value`: the
   digits the float holds, so that 41.98f is 41.98 and not 41.979999542. */
double shortest(float value) {
    char text[32];
    auto end = std::to_chars(text, text + sizeof text - 1, value).ptr;
    *end = '\0';
    return std::strtod(text, nullptr);
}

double measure(float value) {
    return value == KEM_MISSING ? nan : shortest(value);
}

/* ------------------------------------------------------------------------
 * The station database in memory
 * ---------------------------------------------------------------------- */

/* Case folding as the selection does it (ASCII letters only). */
std::string folded(std::string_view text) {
    std::string out(text);
    for (char &c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

/* The name as kemcity leaves it: trailing blanks removed, the others '_'. */
void tidy_name(char *name) {
    size_t n = strnlen(name, sizeof(CTY_data::name) - 1);
    name[n] = '\0';
    while (n > 0 && name[n - 1] == ' ')
        name[--n] = '\0';
    std::replace(name, name + n, ' ', '_');
}

/* A coordinate the distance can use (as calc_earth_dist tells). */
bool usable(float value) {
    return value != KEM_MISSING && std::isfinite(value);
}

constexpr double deg_to_rad = 0.017453292519943334;
constexpr double earth_radius_km = 6371.3; /* calc_earth_dist's */

template <class Point> Point unit_point(float lat, float lon, int index) {
    double phi = lat * deg_to_rad, lambda = lon * deg_to_rad;
    return {std::cos(phi) * std::cos(lambda), std::cos(phi) * std::sin(lambda), std::sin(phi),
            index};
}

/* One record and its numbers as Python receives them (NaN: missing). */
struct Entry {
    CTY_data city;
    double lat, lon, el;
};

/* What tells that a file is still the one that was read. */
struct Stamp {
    dev_t dev;
    ino_t ino;
    off_t size;
    long long mtime_ns;
    bool operator==(const Stamp &) const = default;
};

Stamp stamp_of(const struct stat &st) {
    return {st.st_dev, st.st_ino, st.st_size,
            static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec};
}

struct Database {
    Stamp stamp{};
    std::vector<Entry> entries; /* in file order */
    /* The records a plain value can select, by folded identifier, by
       station number, and by folded name (sorted, for prefixes). */
    std::unordered_map<std::string, std::vector<int>> by_id;
    std::unordered_map<int, std::vector<int>> by_number;
    std::vector<std::pair<std::string, int>> by_name;
    /* The stations with a position, as points on the unit sphere, for a
       first cut of nearest(). */
    struct Point {
        double x, y, z;
        int index;
    };
    std::vector<Point> points;

    void add(const CTY_data &city) {
        int index = static_cast<int>(entries.size());
        if (usable(city.lat) && usable(city.lon))
            points.push_back(unit_point<Point>(city.lat, city.lon, index));
        entries.push_back({city, city.lat == KEM_MISSING ? nan : shortest(city.lat),
                           city.lon == KEM_MISSING ? nan : shortest(city.lon), measure(city.el)});
        by_id[folded({city.id, strnlen(city.id, sizeof city.id)})].push_back(index);
        if (city.wmo >= 0 && city.wmo < 100000)
            by_number[city.wmo].push_back(index);
        by_name.emplace_back(folded(city.name), index);
    }
};

/* Names that FILE_open gives another meaning (a command, standard input)
   or that do not fit its buffer; such a path is read through /dev/fd only. */
bool plain_path(const std::string &path) {
    return !path.empty() && path[0] != '|' && path[0] != '~' && path.size() < KEM_PATH_MAX &&
           FILE_is_stdio(path.c_str()) == 0;
}

/* The file opened for reading, and what it is; its failure raised with
   the system's own error (a directory is one too). */
int open_file(const std::string &path, struct stat &st) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw FileFailure(errno, path);
    int err = fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
    if (err != 0) {
        close(fd);
        throw FileFailure(err, path);
    }
    return fd;
}

/* Reads the database through the library's reader.  The file is opened
   here, so that its errors are the system's own, and the reader is given
   /dev/fd/N, a short name for the very same file. */
std::unique_ptr<Database> read_database(const std::string &path) {
    struct stat st;
    int fd = open_file(path, st);
    auto db = std::make_unique<Database>();
    db->stamp = stamp_of(st);
    char name[32];
    std::snprintf(name, sizeof name, "/dev/fd/%d", fd);
    int num_stats = 0;
    int city_fd = CTY_open_path(name, 1, &num_stats);
    if (city_fd < 0 && plain_path(path))
        city_fd = CTY_open_path(path.c_str(), 1, &num_stats);
    if (city_fd < 0) {
        int err = errno != 0 ? errno : EIO;
        close(fd);
        throw FileFailure(err, path);
    }
    CTY_rewind(city_fd);
    db->entries.reserve(static_cast<size_t>(std::max(num_stats, 0)));
    CTY_data city;
    while (CTY_read(city_fd, &city) > 0) {
        tidy_name(city.name);
        db->add(city);
    }
    CTY_close(city_fd);
    close(fd);
    std::sort(db->by_name.begin(), db->by_name.end());
    return db;
}

/* The databases read so far, by path as given; a few are kept. */
std::unordered_map<std::string, std::unique_ptr<Database>> databases;
constexpr size_t kept_databases = 8;

const Database &database(const std::string &path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        throw FileFailure(errno, path);
    auto found = databases.find(path);
    if (found != databases.end() && found->second->stamp == stamp_of(st))
        return *found->second;
    auto db = read_database(path);
    if (found == databases.end() && databases.size() >= kept_databases)
        databases.clear();
    auto &slot = databases[path];
    slot = std::move(db);
    return *slot;
}

/* ------------------------------------------------------------------------
 * Selections
 * ---------------------------------------------------------------------- */

/* A kept station: a copy of its entry (the cache may be replaced once the
   lock is let go) and its distance from the centre, negative for none. */
struct Kept {
    Entry entry;
    double dist;
};

/* The selection values, prepared once for every record. */
class Selection {
  public:
    explicit Selection(const std::vector<std::string> &values) {
        for (const std::string &v : values)
            items_.push_back(const_cast<char *>(v.c_str()));
        sel_ = CTY_select_new(static_cast<int>(items_.size()), items_.data());
        if (sel_ == nullptr)
            throw std::bad_alloc();
        has_centre_ = CTY_select_centre(sel_, &lat_, &lon_) == 1;
    }
    ~Selection() { CTY_select_free(sel_); }
    Selection(const Selection &) = delete;
    Selection &operator=(const Selection &) = delete;

    /* kemcity's warning about the first value that cannot be read as it
       stands, or "" when every value can. */
    std::string problem() const {
        for (size_t i = 0; i < items_.size(); i++) {
            if (const char *why = CTY_select_problem(sel_, static_cast<int>(i)))
                return std::string("Selection value ") + items_[i] + ": " + why;
        }
        return "";
    }
    /* True when every value is plain (an identifier, station number or
       name prefix), so that the index can propose the records. */
    bool all_plain() const {
        for (size_t i = 0; i < items_.size(); i++)
            if (CTY_select_noted(sel_, static_cast<int>(i)) == -1)
                return false;
        return !items_.empty();
    }
    bool keeps(const CTY_data &city) const {
        return items_.empty() || CTY_select_cmp(sel_, &city) != -1;
    }
    bool has_centre() const { return has_centre_; }
    double dist(const CTY_data &city) const {
        return has_centre_ ? calc_earth_dist(lat_, lon_, city.lat, city.lon) : -1;
    }
    const std::vector<char *> &items() const { return items_; }

  private:
    std::vector<char *> items_;
    CTY_select *sel_ = nullptr;
    bool has_centre_ = false;
    float lat_ = 0, lon_ = 0;
};

bool five_digits(std::string_view text) {
    return text.size() == 5 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

/* The records that plain value `value` may select: every record whose
   identifier it is, whose station number it writes, or whose name it
   begins (five characters or more), as the selection compares them. */
void propose(const Database &db, std::string_view value, std::vector<int> &out) {
    std::string text = folded(value);
    if (auto found = db.by_id.find(text); found != db.by_id.end())
        out.insert(out.end(), found->second.begin(), found->second.end());
    if (five_digits(text)) {
        if (auto found = db.by_number.find(std::atoi(text.c_str())); found != db.by_number.end())
            out.insert(out.end(), found->second.begin(), found->second.end());
    }
    if (text.size() >= 5) {
        auto at = std::lower_bound(db.by_name.begin(), db.by_name.end(),
                                   std::pair<std::string, int>(text, -1));
        for (; at != db.by_name.end() && at->first.compare(0, text.size(), text) == 0; ++at)
            out.push_back(at->second);
    }
}

/* Nearest first: stations without a distance last; the sort is stable. */
bool nearer(const Kept &a, const Kept &b) {
    return a.dist >= 0 && (b.dist < 0 || a.dist < b.dist);
}

struct Request {
    std::vector<std::string> values;
    std::string database;
    bool nearest = false;
    bool first = false;
};

/* The stations kemcity -in dbase prints for the same values and flags, in
   its order. */
std::vector<Kept> select_stations(const Request &r, bool &with_dist) {
    Selection selection(r.values);
    if (std::string why = selection.problem(); !why.empty())
        throw py::value_error(why);
    if (r.nearest && !selection.has_centre())
        throw py::value_error("Parameter nearest needs an RA< value");
    const Database &db = database(r.database);
    with_dist = selection.has_centre();

    std::vector<int> proposed;
    bool indexed = selection.all_plain();
    if (indexed) {
        for (const char *value : selection.items())
            propose(db, value, proposed);
        std::sort(proposed.begin(), proposed.end());
        proposed.erase(std::unique(proposed.begin(), proposed.end()), proposed.end());
    }
    size_t count = indexed ? proposed.size() : db.entries.size();

    std::vector<Kept> kept;
    for (size_t i = 0; i < count; i++) {
        const Entry &e = db.entries[indexed ? static_cast<size_t>(proposed[i]) : i];
        if (!selection.keeps(e.city))
            continue;
        Kept k{e, selection.dist(e.city)};
        if (!r.nearest) {
            kept.push_back(k);
            if (r.first)
                break;
        } else if (!r.first) {
            kept.push_back(k);
        } else if (kept.empty() || nearer(k, kept[0])) {
            kept.assign(1, k);
        }
    }
    if (r.nearest)
        std::stable_sort(kept.begin(), kept.end(), nearer);
    return kept;
}

/* The n stations nearest to a position, nearest first (ties in file
   order), within `km` when `limited`: what "RA<lat:lon:km" keeps, by the
   same distance.
   calc_earth_dist decides, but only on the stations that can be among the
   n: the straight-line (chord) distances through the sphere, in the same
   order as the great-circle ones, give the n-th nearest at a glance; a
   station further than that by more than `slack` cannot be among them
   (the two distances differ by metres at most, the float's rounding). */
std::vector<Kept> nearest_stations(const std::string &path, float lat, float lon, size_t n,
                                   bool limited, float km) {
    constexpr double slack = 0.1; /* km */
    const Database &db = database(path);
    using Point = Database::Point;
    const Point centre = unit_point<Point>(lat, lon, -1);
    auto chord2 = [&centre](const Point &p) {
        double dx = p.x - centre.x, dy = p.y - centre.y, dz = p.z - centre.z;
        return dx * dx + dy * dy + dz * dz;
    };
    /* The chord of a great-circle distance, squared. */
    auto chord2_of = [](double dist) {
        double half = std::min(dist / (2 * earth_radius_km), std::acos(0.0));
        return 4 * std::sin(half) * std::sin(half);
    };
    auto dist_of = [](double c2) { return 2 * earth_radius_km * std::asin(std::sqrt(c2) / 2); };

    std::vector<std::pair<double, int>> near; /* chord squared, station */
    double limit = limited ? chord2_of(km + slack) : 5;
    for (const Point &p : db.points)
        if (double c2 = chord2(p); c2 <= limit)
            near.emplace_back(c2, p.index);
    if (n == 0)
        near.clear();
    if (near.size() > n) {
        auto nth = near.begin() + static_cast<std::ptrdiff_t>(n - 1);
        std::nth_element(near.begin(), nth, near.end());
        double cut = chord2_of(dist_of(nth->first) + slack);
        near.erase(std::remove_if(near.begin(), near.end(),
                                  [cut](const auto &c) { return c.first > cut; }),
                   near.end());
    }

    std::vector<std::pair<float, int>> found; /* distance, station */
    for (const auto &c : near) {
        const CTY_data &city = db.entries[static_cast<size_t>(c.second)].city;
        float dist = calc_earth_dist(lat, lon, city.lat, city.lon);
        if (dist >= 0 && (!limited || dist <= km))
            found.emplace_back(dist, c.second);
    }
    n = std::min(n, found.size());
    std::partial_sort(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(n), found.end());
    std::vector<Kept> kept;
    kept.reserve(n);
    for (size_t i = 0; i < n; i++)
        kept.push_back({db.entries[static_cast<size_t>(found[i].second)], found[i].first});
    return kept;
}

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

/* ------------------------------------------------------------------------
 * Python values
 * ---------------------------------------------------------------------- */

/* kem.Station, handed over by the package at import. */
PyTypeObject *station_type = nullptr;
/* The bundled station database, handed over at import. */
std::string bundled_database;

py::object text(const char *field, size_t size) {
    /* Malformed UTF-8 becomes U+FFFD, as in kemcity's JSON. */
    PyObject *s =
        PyUnicode_DecodeUTF8(field, static_cast<Py_ssize_t>(strnlen(field, size)), "replace");
    if (s == nullptr)
        throw py::error_already_set();
    return py::reinterpret_steal<py::object>(s);
}

py::object number_or_none(double value) {
    return std::isnan(value) ? py::none() : py::object(py::float_(value));
}

py::object station(const Kept &k, bool with_dist) {
    if (station_type == nullptr)
        throw std::runtime_error("kem._kem is used without the package kem");
    const CTY_data &c = k.entry.city;
    bool no_state = std::strncmp(c.state, "--", sizeof c.state) == 0;
    py::tuple fields = py::make_tuple(
        text(c.name, sizeof c.name), no_state ? py::none() : text(c.state, sizeof c.state),
        text(c.region, sizeof c.region), text(c.id, sizeof c.id), py::int_(c.prior),
        number_or_none(k.entry.lat), number_or_none(k.entry.lon), number_or_none(k.entry.el),
        c.wmo == KEM_MISSING ? py::none() : py::object(py::int_(c.wmo)),
        with_dist && k.dist >= 0 ? py::object(py::float_(shortest(static_cast<float>(k.dist))))
                                 : py::none());
    /* tuple.__new__(Station, fields), as Station._make does. */
    py::tuple args = py::make_tuple(fields);
    PyObject *made = PyTuple_Type.tp_new(station_type, args.ptr(), nullptr);
    if (made == nullptr)
        throw py::error_already_set();
    return py::reinterpret_steal<py::object>(made);
}

py::list station_list(const std::vector<Kept> &kept, bool with_dist) {
    py::list out(kept.size());
    for (size_t i = 0; i < kept.size(); i++)
        out[i] = station(kept[i], with_dist);
    return out;
}

/* A path from None (the bundled database), a text, bytes or a path-like
   object. */
std::string database_path(const py::object &database) {
    if (database.is_none())
        return bundled_database;
    PyObject *fs = PyOS_FSPath(database.ptr());
    if (fs == nullptr)
        throw py::error_already_set();
    py::object path = py::reinterpret_steal<py::object>(fs);
    if (PyUnicode_Check(path.ptr())) {
        PyObject *encoded = PyUnicode_EncodeFSDefault(path.ptr());
        if (encoded == nullptr)
            throw py::error_already_set();
        path = py::reinterpret_steal<py::object>(encoded);
    }
    std::string bytes = path.cast<std::string>();
    if (bytes.find('\0') != std::string::npos)
        throw py::value_error("database path holds a NUL character");
    return bytes;
}

/* A selection value as kemcity takes it: a text, a leading '/' dropped
   (kemcity's escape for values that begin with '-'). */
std::string selection_value(py::handle value) {
    if (!PyUnicode_Check(value.ptr()))
        throw py::type_error(std::string("selection values are str, not ") +
                             Py_TYPE(value.ptr())->tp_name);
    std::string text = value.cast<std::string>();
    if (text.find('\0') != std::string::npos)
        throw py::value_error("selection value holds a NUL character");
    return !text.empty() && text[0] == '/' ? text.substr(1) : text;
}

py::list stations(py::args values, py::object database, bool nearest, bool first) {
    Request r;
    for (py::handle v : values)
        r.values.push_back(selection_value(v));
    r.database = database_path(database);
    r.nearest = nearest;
    r.first = first;
    bool with_dist = false;
    std::vector<Kept> kept = locked([&] { return select_stations(r, with_dist); });
    return station_list(kept, with_dist);
}

py::object station_of(py::object value, py::object database) {
    Request r;
    r.values.push_back(selection_value(value));
    r.database = database_path(database);
    r.first = true;
    bool with_dist = false;
    std::vector<Kept> kept = locked([&] { return select_stations(r, with_dist); });
    if (kept.empty())
        throw py::key_error(py::str(value).cast<std::string>());
    return station(kept[0], with_dist);
}

py::list nearest(double lat, double lon, long n, py::object within_km, py::object database) {
    if (!std::isfinite(lat) || !std::isfinite(lon) || std::fabs(lat) > 90)
        throw py::value_error("nearest needs a finite position with a latitude within +-90");
    if (n < 0)
        throw py::value_error("nearest needs n >= 0");
    bool limited = !within_km.is_none();
    double km = limited ? within_km.cast<double>() : 0;
    if (limited && !(km >= 0))
        throw py::value_error("within_km must be a distance in km, 0 or more");
    std::string path = database_path(database);
    std::vector<Kept> kept = locked([&] {
        return nearest_stations(path, static_cast<float>(lat), static_cast<float>(lon),
                                static_cast<size_t>(n), limited, static_cast<float>(km));
    });
    return station_list(kept, true);
}

/* A field as kemcity's JSON gives it: -9999 is None, a text in the form
   of a JSON number is a number (an int without a point or an exponent),
   anything else a text ("01001" stays a text). */
bool json_number(std::string_view t) {
    size_t i = 0, n = t.size();
    auto digits = [&] {
        size_t from = i;
        while (i < n && t[i] >= '0' && t[i] <= '9')
            ++i;
        return i > from;
    };
    if (i < n && t[i] == '-')
        ++i;
    if (i < n && t[i] == '0')
        ++i;
    else if (!digits())
        return false;
    if (i < n && t[i] == '.' && (++i, !digits()))
        return false;
    if (i < n && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < n && (t[i] == '+' || t[i] == '-'))
            ++i;
        if (!digits())
            return false;
    }
    return i == n;
}

py::object field_value(const std::string &field) {
    if (field == "-9999")
        return py::none();
    if (!json_number(field))
        return text(field.c_str(), field.size());
    bool whole = field.find_first_of(".eE") == std::string::npos;
    PyObject *number = whole ? PyLong_FromString(field.c_str(), nullptr, 10)
                             : PyFloat_FromDouble(std::strtod(field.c_str(), nullptr));
    if (number == nullptr)
        throw py::error_already_set();
    return py::reinterpret_steal<py::object>(number);
}

/* kem.Place, handed over by the package at import; the bundled data's
   directory. */
py::object *place_type = nullptr;
std::string bundled_data_dir;

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

/* ------------------------------------------------------------------------
 * Surface calculations
 * ---------------------------------------------------------------------- */

/* NaN goes in as the library's missing value, which comes out as NaN. */
float to_library(double v) {
    return std::isnan(v) ? static_cast<float>(KEM_MISSING) : static_cast<float>(v);
}
double from_library(float v) {
    return v == KEM_MISSING ? nan : static_cast<double>(v);
}

template <class> struct as_double { using type = double; };
template <class> struct as_object { using type = py::object; };

bool is_number(const py::object &o) {
    return PyFloat_Check(o.ptr()) || PyLong_Check(o.ptr());
}

template <class F> struct Calc;
template <class... A> struct Calc<float (*)(A...)> {
    template <float (*F)(A...)> static double scalar(typename as_double<A>::type... x) {
        return from_library(F(to_library(x)...));
    }
    /* Plain numbers are computed at once; anything else (arrays, lists,
       NumPy scalars) goes through the vectorized form, which broadcasts. */
    template <float (*F)(A...)>
    static void define(py::module_ &m, const char *name, const char *doc,
                       std::array<const char *, sizeof...(A)> args) {
        static auto *vectorized = new py::object(py::cpp_function(py::vectorize(scalar<F>)));
        auto call = [](typename as_object<A>::type... x) -> py::object {
            if ((is_number(x) && ...))
                return py::float_(scalar<F>(x.template cast<double>()...));
            return (*vectorized)(x...);
        };
        define_args(m, name, doc, call, args, std::index_sequence_for<A...>{});
    }
    template <class Call, size_t... I>
    static void define_args(py::module_ &m, const char *name, const char *doc, Call call,
                            const std::array<const char *, sizeof...(A)> &args,
                            std::index_sequence<I...>) {
        m.def(name, call, py::arg(args[I])..., doc);
    }
};

#define KEM_CALC(name, doc, ...) Calc<decltype(&name)>::define<&name>(m, #name, doc, {__VA_ARGS__})

void define_calculations(py::module_ &m) {
    KEM_CALC(vapor_pr, "Saturation vapour pressure (mb) over water at temperature t (K).", "t");
    KEM_CALC(temp_vapor_pr, "Temperature (K) whose saturation vapour pressure is e (mb).", "e");
    KEM_CALC(mix_ratio,
             "Mixing ratio (g/kg) at pressure pr (mb) of air whose humidity temp is a dew "
             "point (K), or a vapour pressure (mb) when 100 or less.",
             "temp", "pr");
    KEM_CALC(spec_hum,
             "Specific humidity (g/kg) at pressure pr (mb) of air whose humidity temp is a "
             "dew point (K), or a vapour pressure (mb) when 100 or less.",
             "temp", "pr");
    KEM_CALC(rel_hum,
             "Relative humidity (%) of temperature t and dew point td (K); both 100 or less "
             "are vapour pressures (mb) instead.",
             "t", "td");
    KEM_CALC(dew_temp,
             "Dew point (K) of temperature temp (K) at relative humidity rh (%, taken "
             "within 2 to 100).",
             "temp", "rh");
    KEM_CALC(pot_temp, "Potential temperature (K) of temperature temp (K) at pressure pr (mb).",
             "temp", "pr");
    KEM_CALC(temp_on_dryad,
             "Temperature (K) at pressure pr (mb) on the dry adiabat of potential "
             "temperature pot (K).",
             "pot", "pr");
    KEM_CALC(virt_temp,
             "Virtual temperature (K) of temperature temp (K) with dew point dewp (K, or a "
             "mixing ratio in g/kg when 100 or less) at pressure pr (mb).",
             "temp", "dewp", "pr");
    KEM_CALC(virt_pot_temp,
             "Virtual potential temperature (K) of temperature temp (K) with dew point dewp "
             "(K, or a mixing ratio in g/kg when 100 or less) at pressure pr (mb).",
             "temp", "dewp", "pr");
    KEM_CALC(temp_on_mixrat,
             "Temperature (K) at pressure pr (mb) on the saturation mixing-ratio line w "
             "(g/kg).",
             "w", "pr");
    KEM_CALC(thetae_on_satad,
             "Equivalent potential temperature (K) of the saturated adiabat through "
             "temperature temp (K) at pressure pr (mb).",
             "temp", "pr");
    KEM_CALC(temp_on_satad,
             "Temperature (K) at pressure pr (mb) on the saturated adiabat of equivalent "
             "potential temperature pot (K).",
             "pot", "pr");
    KEM_CALC(lcl_pres,
             "Pressure (mb) of the lifting condensation level of a parcel of temperature ts "
             "and dew point tds (K) at pressure ps (mb).",
             "ts", "tds", "ps");
    KEM_CALC(lcl_temp,
             "Temperature (K) at the lifting condensation level pl (mb) of a parcel of "
             "temperature ts (K) at pressure ps (mb).",
             "ts", "ps", "pl");
    KEM_CALC(conv_temp,
             "Convective temperature (K) at pressure pr (mb) for the mean mixing ratio wbar "
             "(g/kg) and the convective condensation level pc (mb).",
             "wbar", "pc", "pr");
    KEM_CALC(eq_pot_temp,
             "Equivalent potential temperature (K) of a parcel of temperature temp and dew "
             "point dewp (K) at pressure pr (mb).",
             "temp", "dewp", "pr");
    KEM_CALC(wet_bulb,
             "Wet-bulb temperature (K) of a parcel of temperature temp and dew point dewp "
             "(K) at pressure pr (mb).",
             "temp", "dewp", "pr");
    KEM_CALC(wet_bulb_pot_temp,
             "Wet-bulb potential temperature (K) of a parcel of temperature temp and dew "
             "point dewp (K) at pressure pr (mb).",
             "temp", "dewp", "pr");
    KEM_CALC(interp_temp,
             "Temperature (K) at pressure pr (mb), linear in the logarithm of pressure "
             "between t1 (K) at p1 (mb) and t2 (K) at p2 (mb).",
             "t1", "t2", "p1", "p2", "pr");
    KEM_CALC(wind_chill_temp,
             "Wind chill temperature (K) of temperature temp (K) in wind speed ws (m/s), "
             "the older formula.",
             "temp", "ws");
    KEM_CALC(wind_chill_temp2,
             "Wind chill temperature (K) of temperature temp (K) in wind speed ws (m/s), "
             "the newer formula.",
             "temp", "ws");
    KEM_CALC(wind_chill, "Wind chill index (W/m2) of temperature temp (K) in wind speed ws (m/s).",
             "temp", "ws");
    KEM_CALC(heat_index, "Heat index (K) of temperature temp (K) with dew point dewp (K).", "temp",
             "dewp");
    KEM_CALC(humiture, "Humiture (degrees F) of temperature temp (K) with dew point dewp (K).",
             "temp", "dewp");
    KEM_CALC(temp_hum_index,
             "Temperature-humidity index of temperature temp (K) with dew point dewp (K).", "temp",
             "dewp");
    KEM_CALC(sfc_pr_alt,
             "Station pressure (mb) from altimeter setting alt (mb) at elevation el (m), "
             "under the standard lapse rate.",
             "alt", "el");
    KEM_CALC(pres_alt, "Height (m) of pressure pres (mb) in the standard atmosphere.", "pres");
    KEM_CALC(calc_earth_dist,
             "Great-circle distance (km) between lat1, lon1 and lat2, lon2 (degrees): the "
             "distance of RA< selections and of nearest().",
             "lat1", "lon1", "lat2", "lon2");
}

} // namespace

PYBIND11_MODULE(_kem, m) {
    m.doc() = "Station lookups and surface calculations of the kem library (see the package kem).";
    {
        std::lock_guard<std::mutex> guard(library_lock);
        MESS_set(0, 0);
    }
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p)
                std::rethrow_exception(p);
        } catch (const FileFailure &e) {
            py::object name = py::reinterpret_steal<py::object>(PyUnicode_DecodeFSDefaultAndSize(
                e.path.data(), static_cast<Py_ssize_t>(e.path.size())));
            PyObject *exc = PyObject_CallFunction(PyExc_OSError, "isO", e.err, std::strerror(e.err),
                                                  name.ptr());
            if (exc != nullptr) {
                PyErr_SetObject(reinterpret_cast<PyObject *>(Py_TYPE(exc)), exc);
                Py_DECREF(exc);
            }
        }
    });

    m.def(
        "_set_station_type",
        [](py::object type) {
            if (!PyType_Check(type.ptr()) ||
                !PyType_IsSubtype(reinterpret_cast<PyTypeObject *>(type.ptr()), &PyTuple_Type))
                throw py::type_error("the station type must be a tuple type");
            station_type = reinterpret_cast<PyTypeObject *>(type.inc_ref().ptr());
        },
        py::arg("station_type"));
    m.def(
        "_set_place_type", [](py::object type) { place_type = new py::object(std::move(type)); },
        py::arg("place_type"));
    m.def(
        "_set_bundled_data",
        [](std::string dir) {
            bundled_data_dir = dir;
            bundled_database = dir + "/sao.cty";
        },
        py::arg("data_dir"));

    m.def("stations", &stations, py::arg("database") = py::none(), py::arg("nearest") = false,
          py::arg("first") = false,
          "stations(*values, database=None, nearest=False, first=False) -> list[Station]\n\n"
          "The stations that kemcity -in dbase prints for the same selection values, in\n"
          "its order: identifiers, station numbers, name prefixes of five characters or\n"
          "more, and key expressions joined by ':' (ST=IN:P<1, RA<lat:lon:km, CN=CA).\n"
          "No value selects every station.  dist (km) is set when a value holds RA<;\n"
          "nearest=True sorts by it (stations without a position last), first=True\n"
          "keeps the first station only.  database: a path, or None for the bundled\n"
          "database.  Raises ValueError for a value the library cannot read, and\n"
          "FileNotFoundError (an OSError) for a database that cannot be opened.");
    m.def("station", &station_of, py::arg("value"), py::kw_only(), py::arg("database") = py::none(),
          "station(value, *, database=None) -> Station\n\n"
          "The first station that a selection value selects, usually an identifier:\n"
          "station('KORD').  Raises KeyError naming the value when none does.");
    m.def("nearest", &nearest, py::arg("lat"), py::arg("lon"), py::arg("n") = 5,
          py::arg("within_km") = py::none(), py::kw_only(), py::arg("database") = py::none(),
          "nearest(lat, lon, n=5, within_km=None, *, database=None) -> list[Station]\n\n"
          "The n stations nearest to lat, lon (degrees), nearest first, each with its\n"
          "dist (km) by calc_earth_dist; only those within within_km when given (as\n"
          "RA<lat:lon:km selects).  Stations without a position are never listed.");
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
    define_calculations(m);
}
