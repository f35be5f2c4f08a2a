/*
 * calc.cpp - surface calculations.
 *
 * Placeholder bodies: every function answers a neutral value until the
 * module is written.
 */
#include "kem.h"
float calc_earth_dist(float, float, float, float) { return {}; }
