/* region.h - what domain decoding and region files share; not part of the library's interface. */
#ifndef KEM_REGION_H
#define KEM_REGION_H

#include "kem.h"

#include <cstddef>

/* The region file read when a domain string or a lookup names none. */
inline constexpr const char *default_region_file = "kem.reg";

/* Longest abbreviation or domain string taken from a region file; the
   domain string DOM_search_file gives needs one byte more. */
inline constexpr std::size_t region_word_max = 79;

/* The grid of a domain string that gives no more than a centre: polar
   stereographic, 25 by 17 points, 1.2 apart (domain.cpp). */
void domain_default_grid(Domain *domain);

/* What every decoded domain leaves behind: the program flag of the last
   decode holds `result`, and the station priority follows the height of
   the domain's grid (domain.cpp). */
void domain_settle(const Domain *domain, int result);

#endif /* KEM_REGION_H */
