/*
 * module.h - what the files of the extension module kem._kem share: the
 * one lock around the library, files opened with the system's own errors,
 * and Python values made from the library's texts.
 */
#ifndef KEM_PYTHON_MODULE_H
#define KEM_PYTHON_MODULE_H

#include "kem.h"

#include <pybind11/pybind11.h>

#include <limits>
#include <mutex>
#include <stdexcept>
#include <string>

#include <sys/stat.h>

namespace py = pybind11;

namespace kempy {

constexpr double no_value = std::numeric_limits<double>::quiet_NaN();

/* Held by every call that touches the library or the cache. */
extern std::mutex library_lock;

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

/* Names that FILE_open gives another meaning (a command, standard input)
   or that do not fit its buffer; such a path is read through /dev/fd only. */
bool plain_path(const std::string &path);

/* The file opened for reading, and what it is; its failure raised with
   the system's own error (a directory is one too). */
int open_file(const std::string &path, struct stat &st);

/* A path from None (the bundled database), a text, bytes or a path-like
   object. */
std::string database_path(const py::object &database);

/* A text of the library as Python's str, malformed UTF-8 made U+FFFD as in
   kemcity's JSON. */
py::object text(const char *field, size_t size);

/* The double of the shortest decimal text that reads back to `value`: the
   digits the float holds, so that 41.98f is 41.98 and not 41.979999542. */
double shortest(float value);

/* A selection value as kemcity takes it: a text, a leading '/' dropped
   (kemcity's escape for values that begin with '-'). */
std::string selection_value(py::handle value);

/* kem.Place, handed over by the package at import; the bundled data's
   directory and database. */
extern py::object *place_type;
extern std::string bundled_data_dir;
extern std::string bundled_database;

/* The functions of the raw tables (places.cpp) and of the surface
   calculations (calc.cpp). */
void define_places(py::module_ &m);
void define_calculations(py::module_ &m);

} // namespace kempy

#endif /* KEM_PYTHON_MODULE_H */
