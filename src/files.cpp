/*
 * files.cpp - paths and file access (FILE_).
 *
 * Placeholder bodies: every function answers a neutral value until the
 * module is written.
 */
#include "kem.h"
int FILE_fullpath(const char *) { return {}; }
int FILE_is_stdio(const char *) { return {}; }
int FILE_add_path_delim(char *) { return {}; }
char *FILE_add_path(const char *, const char *, char *) { return {}; }
int FILE_add_user_path(const char *, char *) { return {}; }
int FILE_exist(const char *) { return {}; }
int FILE_is_dir(const char *) { return {}; }
int FILE_is_file(const char *) { return {}; }
int FILE_is_fifo(const char *) { return {}; }
int FILE_is_device(const char *) { return {}; }
long FILE_size(const char *) { return {}; }
long FILE_modtime(const char *) { return {}; }
int FILE_delete(const char *) { return {}; }
int FILE_make_dir(char *, int) { return {}; }
FILE *FILE_open(const char *, const char *) { return {}; }
int FILE_close(FILE *) { return {}; }
int FILE_type(const char *) { return {}; }
int FILE_overwrite(const char *, int) { return {}; }
int KEM_share(int) { return {}; }
