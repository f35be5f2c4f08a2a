/* resrc.h - shared by the resource module's files only; not part of the library's interface. */
#ifndef KEM_RESRC_H
#define KEM_RESRC_H

#include "kem.h"

/* The first record of the store, in order of first insertion; null when
   the store is empty.  Start-up walks it to convert every resource. */
const res_obj *res_first_record();

/* Empties the store, freeing every record.  For tools that start up
   many times in one process (the fuzzing harnesses); programs never do. */
void res_clear();

/* The exchange with a display window named "#n" in the search path
   (res_window.cpp).  res_window_open links decoding to window `number`
   (the text after '#'): asks it for every resource of the table, stores
   its values and hands over the program's own where it has none; 1 when
   the link is open, 0 after a warning.  While it is open, res_window_set
   hands one option value over (1 when sent); res_window_close ends the
   conversation with "quit" and forgets the link (1 when one was open). */
int res_window_open(const char *number, const RES_defobj *table);
int res_window_set(const char *name, const char *value);
int res_window_close();

#endif /* KEM_RESRC_H */
