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
#include "module.h"

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

/* ------------------------------------------------------------------------
 * What the module's files share (module.h)
 * ---------------------------------------------------------------------- */

namespace kempy {

std::mutex library_lock;
py::object *place_type = nullptr;
std::string bundled_data_dir;
std::string bundled_database;

bool plain_path(const std::string &path) {
    return !path.empty() && path[0] != '|' && path[0] != '~' && path.size() < KEM_PATH_MAX &&
           FILE_is_stdio(path.c_str()) == 0;
}

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

py::object text(const char *field, size_t size) {
    /* Malformed UTF-8 becomes U+FFFD, as in kemcity's JSON. */
    PyObject *s =
        PyUnicode_DecodeUTF8(field, static_cast<Py_ssize_t>(strnlen(field, size)), "replace");
    if (s == nullptr)
        throw py::error_already_set();
    return py::reinterpret_steal<py::object>(s);
}

double shortest(float value) {
    char text[32];
    auto end = std::to_chars(text, text + sizeof text - 1, value).ptr;
    *end = '\0';
    return std::strtod(text, nullptr);
}

std::string selection_value(py::handle value) {
    if (!PyUnicode_Check(value.ptr()))
        throw py::type_error(std::string("selection values are str, not ") +
                             Py_TYPE(value.ptr())->tp_name);
    std::string text = value.cast<std::string>();
    if (text.find('\0') != std::string::npos)
        throw py::value_error("selection value holds a NUL character");
    return !text.empty() && text[0] == '/' ? text.substr(1) : text;
}

} // namespace kempy

using namespace kempy;

namespace {

/* ------------------------------------------------------------------------
 * Numbers as kemcity's JSON gives them
 * ---------------------------------------------------------------------- */

double measure(float value) {
    return value == KEM_MISSING ? no_value : shortest(value);
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
        entries.push_back({city, city.lat == KEM_MISSING ? no_value : shortest(city.lat),
                           city.lon == KEM_MISSING ? no_value : shortest(city.lon),
                           measure(city.el)});
        by_id[folded({city.id, strnlen(city.id, sizeof city.id)})].push_back(index);
        if (city.wmo >= 0 && city.wmo < 100000)
            by_number[city.wmo].push_back(index);
        by_name.emplace_back(folded(city.name), index);
    }
};

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
        CTY_tidy_name(&city);
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
 * Python values
 * ---------------------------------------------------------------------- */

/* kem.Station, handed over by the package at import. */
PyTypeObject *station_type = nullptr;
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
    define_places(m);
    define_calculations(m);
}
