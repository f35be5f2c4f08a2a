/* resrc.h - shared by the resource module's files only; not part of the library's interface. */
#ifndef KEM_RESRC_H
#define KEM_RESRC_H

#include "kem.h"

/* The first record of the store, in order of first insertion; null when
   the store is empty.  Start-up walks it to convert every resource. */
const res_obj *res_first_record();

#endif /* KEM_RESRC_H */
