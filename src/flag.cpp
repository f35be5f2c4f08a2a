/*
 * flag.cpp - program flags and plot switches (FLAG_).
 *
 * Placeholder bodies: every function answers a neutral value until the
 * module is written.
 */
#include "kem.h"
int FLAG_get(int) { return {}; }
int64_t FLAG_getl(int) { return {}; }
int FLAG_set(int, int) { return {}; }
int FLAG_setl(int, int64_t) { return {}; }
int FLAG_reset(int) { return {}; }
int FLAG_resetl(int64_t) { return {}; }
int FLAG_batch(void) { return {}; }
int FLAG_set_batch(int) { return {}; }
int FLAG_help(void) { return {}; }
int FLAG_setplot(int, int) { return {}; }
int FLAG_getplot(int) { return {}; }
int FLAG_resetplot(int) { return {}; }
