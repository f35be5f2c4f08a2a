/* kemcity.cpp - the program's entry: the lookup, then the end of the
   process through the library's exit routine. */
#include "kemcity.h"

int main(int argc, char **argv) {
    KEM_exit(kemcity::kemcity_main(argc, argv));
}
