/* cty_field.h - the fields of a station, shared by the selection and the
   output; not part of the library's interface. */
#ifndef KEM_CTY_FIELD_H
#define KEM_CTY_FIELD_H

#include "kem.h"

#include <cstddef>

/* How the selection compares the text after a field's key and operator. */
enum class FieldTest : unsigned char {
    name,        /* a prefix of the name (an empty one matches nothing) */
    state,       /* the state, or state_region */
    region,      /* the region */
    id,          /* the identifier */
    number,      /* the number compares with the field's value */
    number_text, /* the station number's five-digit text */
    range,       /* RA<lat:lon:km, the next two pieces holding lon and km */
};

/* Room for any value of a station field as text. */
constexpr size_t field_value_max = 64;

/* A writer of a field's value at `out` (at most field_value_max - 1 bytes,
   not terminated), as printf's formats print it; answers its end.  `dist`
   is the station's distance in km from the centre of the selection, or
   negative when it has none. */
using FieldWriter = char *(*)(char *out, const CTY_data &city, double dist);

/*
 * One field of a station: an output column and the selection keys that
 * test it.  `key` followed by one of `ops` begins a key expression ("ST=",
 * "P<"); '=' applies `equal`, '<' and '>' compare the number (or, for the
 * range, the distance).  A field with `next` also takes its key alone as a
 * piece ("ST:IN"), the value in the piece after it.
 */
struct StationField {
    const char *column; /* output column name */
    const char *key;    /* selection key, without its operator */
    const char *ops;
    FieldTest equal;
    bool next;
    bool whole;                         /* the number is read as a whole number */
    OUT_kind kind;                      /* how JSON shows the value */
    double (*number)(const CTY_data &); /* number fields: the value compared */
    FieldWriter text;                   /* as printed */
    FieldWriter json;                   /* as JSON shows it; null: as printed */
};

/* The nine columns in their printed order, then Dist, which is printed
   only when asked for by name (and selected by "RA<"). */
constexpr int station_field_count = 10;
constexpr int dist_field = 9;
extern const StationField station_fields[station_field_count];

/* Printed forms that other writers share. */
char *int_text(char *out, int value);                  /* "%d" */
char *real_text(char *out, float value, int decimals); /* "%3.2f" or "%1.0f" */

/* The nine columns' values of a plain listing, each followed by a blank,
   and the line's end, at `out` (room for 9 * field_value_max bytes);
   `name_len` is the length of the name.  Answers the end. */
char *station_line(char *out, const CTY_data &city, size_t name_len);

#endif /* KEM_CTY_FIELD_H */
