/*
 * system.cpp - process, prompt and timing utilities (KEM_).
 *
 * Placeholder bodies: every function answers a neutral value until the
 * module is written.
 */
#include "kem.h"
#include <stdlib.h>
const char *KEM_version(void) { return "5.60.4-LINUX-X11"; }
void KEM_exit(int status) { exit(status); }
int KEM_get_pid(void) { return {}; }
long KEM_get_virt_mem(void) { return {}; }
int KEM_set_command(const char *) { return {}; }
char *KEM_promptl(const char *, char *) { return {}; }
char *KEM_prompts(const char *, char *, int) { return {}; }
float KEM_promptf(const char *) { return {}; }
int KEM_promptd(const char *) { return {}; }
int KEM_sleep(float) { return {}; }
int KEM_init_time(void) { return {}; }
float KEM_elapse_time(void) { return {}; }
int KEM_run(const char *, char **, char **, int) { return {}; }
int KEM_run_func(int (*)(int), int) { return {}; }
int KEM_back_proc(void) { return {}; }
int KEM_add_proc(int, const char *) { return {}; }
int KEM_numproc(void) { return {}; }
int KEM_proc(int) { return {}; }
int KEM_proc_id(int) { return {}; }
const char *KEM_proc_name(int) { return {}; }
int KEM_set_proc(int, int) { return {}; }
int KEM_clr_proc(int) { return {}; }
int KEM_chk_proc(int) { return {}; }
int KEM_set_infile(const char *) { return {}; }
int KEM_set_outfile(const char *) { return {}; }
