/*
 * dbase.cpp - kemcity on the station database: every record the
 * selection keeps, in file order or nearest first, in the columns asked
 * for.
 *
 * The distance of a station (the Dist column, and the order of "nearest")
 * is measured from the centre of the first RA< selection value, by the
 * same great-circle distance that the RA< selection keeps stations by.
 */
#include "kemcity.h"

#include <algorithm>
#include <cstring>

namespace kemcity {

namespace {

/* The station columns the output list names, in its order (an item given
   twice prints twice); without a list, or with "all" in it, the nine of a
   listing, then Dist when the list names it. */
std::vector<int> station_columns(const Run &run) {
    std::vector<int> columns;
    const int dist = CTY_column_find("Dist");
    if (run.all_columns) {
        for (int column = 0; column < dist; column++)
            columns.push_back(column);
        if (run.dist_wanted)
            columns.push_back(dist);
        return columns;
    }
    for (int item = 0; item < run.output->count(); item++) {
        const char *name = (*run.output)[item];
        int column = CTY_column_find(name);
        if (column >= 0)
            columns.push_back(column);
        else
            MESS_print(M_warn,
                       "Output column %s: not a column (Name ST CN ID P Lat Lon Elev WMO "
                       "Dist)\n",
                       name);
    }
    return columns;
}

/* The selection values, prepared once for every record. */
class Selection {
  public:
    explicit Selection(const std::vector<char *> &values)
        : any_(!values.empty()), sel_(any_ ? CTY_select_new(static_cast<int>(values.size()),
                                                            const_cast<char **>(values.data()))
                                           : nullptr) {
        has_centre_ = CTY_select_centre(sel_, &lat_, &lon_) == 1;
    }
    ~Selection() { CTY_select_free(sel_); }
    Selection(const Selection &) = delete;
    Selection &operator=(const Selection &) = delete;

    CTY_select *get() const { return sel_; }

    /* Says why each value that cannot be read selects nothing. */
    void warn_problems(const std::vector<char *> &values) const {
        for (size_t i = 0; i < values.size(); i++)
            if (const char *why = CTY_select_problem(sel_, static_cast<int>(i)))
                MESS_print(M_warn, "Selection value %s: %s\n", values[i], why);
    }

    /* The plain values that no noted record answered. */
    std::vector<const char *> unmatched(const std::vector<char *> &values) const {
        std::vector<const char *> names;
        for (size_t i = 0; i < values.size(); i++)
            if (CTY_select_noted(sel_, static_cast<int>(i)) == 0)
                names.push_back(values[i]);
        return names;
    }
    bool keeps(const CTY_data &city) const { return !any_ || CTY_select_cmp(sel_, &city) != -1; }
    bool has_centre() const { return has_centre_; }

    /* The station's distance in km from the centre; negative without a
       centre or a position. */
    double dist(const CTY_data &city) const {
        return has_centre_ ? calc_earth_dist(lat_, lon_, city.lat, city.lon) : -1;
    }

  private:
    bool any_;
    CTY_select *sel_;
    bool has_centre_ = false;
    float lat_ = 0, lon_ = 0;
};

/* A kept station and its distance. */
struct Kept {
    CTY_data city;
    double dist;
};

/* Nearest first: stations without a distance last. */
bool nearer(const Kept &a, const Kept &b) {
    return a.dist >= 0 && (b.dist < 0 || a.dist < b.dist);
}

/* A city_file of "none" switches the database off (the database module
   refuses that name as well), without a warning. */
int open_database(const Run &run) {
    if (stricmp(run.file.c_str(), "none") == 0)
        return -1;
    int num_stats = 0;
    return CTY_open_path(run.path, run.path_fits ? 1 : 0, &num_stats);
}

struct Scan {
    const Run &run;
    const Selection &selection;
    OUT_writer *out;

    bool print(const Kept &s) const { return OUT_put_station(out, &s.city, s.dist) == 0; }

    /* Every kept station in file order, or nearest first (ties in file
       order; with "first", only the nearest is kept while reading).  To
       tell which values found nothing, the scan reads on after "first". */
    void run_over(int fd) const {
        bool sorted = run.nearest && selection.has_centre();
        bool printing = true;
        std::vector<Kept> kept;
        Kept s;
        while (CTY_read_select(fd, &s.city, selection.get()) > 0) {
            CTY_tidy_name(&s.city);
            if (!selection.keeps(s.city))
                continue;
            if (run.missing)
                CTY_select_note(selection.get(), &s.city);
            s.dist = run.dist_wanted || sorted ? selection.dist(s.city) : -1;
            if (!sorted) {
                if (printing && (!print(s) || run.first_only))
                    printing = false;
                if (!printing && !run.missing)
                    return;
            } else if (!run.first_only) {
                kept.push_back(s);
            } else if (kept.empty() || nearer(s, kept[0])) {
                kept.assign(1, s);
            }
        }
        std::stable_sort(kept.begin(), kept.end(), nearer);
        for (const Kept &k : kept)
            if (!print(k) || run.first_only)
                return;
    }
};

} // namespace

int search_database(const Run &run, int &lost) {
    Selection selection(run.values);
    selection.warn_problems(run.values);
    if (run.nearest && !selection.has_centre())
        MESS_print(M_warn, "Parameter nearest needs an RA< value: records in file order\n");
    int fd = open_database(run);
    if (fd < 0)
        return input_unopened("DBase", run);
    CTY_rewind(fd);
    std::vector<int> columns = station_columns(run);
    OUT_writer *out = OUT_open(run.format);
    if (out != nullptr &&
        OUT_station_columns(out, columns.data(), static_cast<int>(columns.size())) == 0)
        Scan{run, selection, out}.run_over(fd);
    lost = OUT_close(out);
    CTY_close(fd);
    if (run.missing)
        warn_unmatched(selection.unmatched(run.values));
    return 0;
}

} // namespace kemcity
