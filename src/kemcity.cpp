/*
 * kemcity.cpp - the CITY DETERMINATION PROGRAM.
 */
#include "kem.h"

int main(int, char **) { return 0; }
