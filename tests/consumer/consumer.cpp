/*
 * consumer.cpp - a program built against an installed kem: reads the first
 * record of the station database named on its command line.
 */
#include <kem.h>

#include <cstdio>

int main(int argc, char **argv) {
    if (argc < 2)
        return 2;
    int fd = CTY_open(argv[1], 0, 0);
    CTY_data city;
    if (fd < 0 || CTY_read(fd, &city) != 10)
        return 1;
    std::printf("%s %s %s\n", KEM_version(), city.id, city.name);
    CTY_close(fd);
    return 0;
}
