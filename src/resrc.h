/*
 * resrc.h - shared by the files of the resource module only; not part of
 * the library's interface (that is kem.h).
 */
#ifndef KEM_RESRC_H
#define KEM_RESRC_H

#include "kem.h"

/* The first record of the store, in order of first insertion; null when
   the store is empty.  Start-up walks it to convert every resource. */
const res_obj *res_first_record();

/* Empties the store, freeing every record.  For tools that start up
   many times in one process (the fuzzing harnesses); programs never do. */
void res_clear();

#endif /* KEM_RESRC_H */
