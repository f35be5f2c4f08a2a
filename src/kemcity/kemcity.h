/* kemcity.h - what the parts of kemcity's driver share: the run's
   settings, the two branches of a lookup and the entry the program and
   the fuzzing target call.  Not part of the library. */
#ifndef KEMCITY_H
#define KEMCITY_H

#include "kem.h"

#include <string>
#include <vector>

namespace kemcity {

/* Exit statuses besides 0. */
constexpr int status_not_found = 10;   /* the input file cannot be opened */
constexpr int status_write_failed = 1; /* the output could not be written */

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

/* One lookup: what the resources asked for, and the file it reads. */
struct Run {
    bool first_only = false;
    bool nearest = false;        /* records printed nearest first */
    bool missing = false;        /* name the plain values that found nothing */
    OUT_format format = OUT_plain;
    std::vector<char *> values;  /* selection values, leading '/' removed */
    const Items *output = nullptr;
    bool all_columns = true; /* no output list, or "all" in it */
    bool dist_wanted = false; /* the output names the Dist column */
    std::string file;          /* bare file name */
    char path[KEM_PATH_MAX]{}; /* full path */
    bool path_fits = true;     /* false: the path was cut and is not opened */
    bool dbase = false;

    /* Formats for programs print records only: no banner, no names. */
    bool records_only() const { return format != OUT_plain; }
};

/* The names of the values in `names`, joined by ", ", in one warning:
   "No match: KXYZ, EGLX". */
void warn_unmatched(const std::vector<const char *> &names);

/* The branches: the station database and the raw tables.  Each answers
   the exit status and leaves in `lost` the errno of an output write that
   failed (0 when none did). */
int search_database(const Run &run, int &lost);
int read_table(const Run &run, int &lost);

/* Reports an input file that cannot be opened ("Raw" or "DBase") and
   answers the status for it. */
int input_unopened(const char *kind, const Run &run);

/* The whole program: start-up, the lookup, the status to end with. */
int kemcity_main(int argc, char **argv);

} // namespace kemcity

#endif /* KEMCITY_H */
