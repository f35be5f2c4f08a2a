/*
 * consumer.c - a C program built against an installed kem: O'Hare and
 * Midway from the station database named on its command line, the
 * distance between them, and the seconds of 2000-01-01 00:00 UTC.  With a
 * second argument "quiet" it first keeps the library to errors and
 * warnings, as kemcity does; without it the library says what it does.
 */
#include <kem.h>

#include <stdio.h>
#include <string.h>

int main(int argc, char **argv) {
    CTY_data ord, mdw;
    Date date;
    if (argc < 2)
        return 2;
    if (argc > 2 && strcmp(argv[2], "quiet") == 0)
        MESS_set(0, M_warn);
    if (CTY_get(argv[1], "KORD", &ord) != 1 || CTY_get(argv[1], "KMDW", &mdw) != 1)
        return 1;
    DATE_init(&date);
    date.year = 2000;
    date.month = 1;
    date.day = 1;
    date.hour = 0;
    date.min = 0;
    date.sec = 0;
    printf("%s %s %.1f km %ld\n", ord.id, mdw.id,
           calc_earth_dist(ord.lat, ord.lon, mdw.lat, mdw.lon), (long)DATE_num_sec(&date));
    return 0;
}
