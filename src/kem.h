/*
 * kem.h - the public surface of the kem core library.
 *
 * This header declares everything a program of the suite may use: the
 * result codes and limits, the plain records (station record, resource
 * record, key-table entry), the enumerations (conversion kinds, resource
 * codes) and the free functions of every module, grouped by subsystem
 * (text, files, messages and processes, resources, dates, domains and
 * regions, the station database, calculations) and within it by source
 * file, then the extensions this library adds.
 * What is not declared here is not part of the library's interface.
 *
 * Conventions: functions answer with integers (0 or a count on success,
 * -1 on failure in readers, 1 or 0 in lookups, an index or -1 in
 * matchers); nothing is thrown across this surface.  The value -9999
 * marks a missing or unset number.  Texts are NUL-terminated byte strings.
 *
 * The header serves C and C++ alike (C89 or later): link libkem.a from C
 * with `pkg-config --static --libs kem`, which adds the C++ runtime.
 *
 * Messages: the level starts at 0xFFFFF (print, error, warn, mess and
 * out1 to out2), so a library call says what it does, for example
 * CTY_get's "Searching the city database file for: KORD ..." on standard
 * output.  A program that wants only its own output, errors and warnings
 * makes one call first, as kemcity does:
 *
 *     MESS_set(0, M_warn);
 *
 * (MESS_set(0, 0) silences every message.)
 */
#ifndef KEM_H
#define KEM_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <time.h>

#if defined(__GNUC__)
#define KEM_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#define KEM_NORETURN __attribute__((noreturn))
#else
#define KEM_PRINTF(fmt, args)
#define KEM_NORETURN
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Everything declared here is the library's interface: in a shared
   libkem, these are its exported functions, and nothing else is. */
#if defined(__GNUC__)
#pragma GCC visibility push(default)
#endif

/* ------------------------------------------------------------------------
 * Result codes and constants
 * ---------------------------------------------------------------------- */

#define KEM_MISSING (-9999) /* missing or unset number, everywhere */
#define KEM_LINE_MAX 160    /* text lines are read in pieces of this many characters */
#define KEM_PATH_MAX 160    /* path buffers hold this many bytes (159 characters) */

/* Message kinds: eight 4-bit nibbles; error and warn share the second. */
typedef uint32_t M_type;
#define M_print 0xFu
#define M_error 0x30u
#define M_warn 0xC0u
#define M_mess 0xF00u
#define M_out1 0xF000u
#define M_out2 0xF0000u
#define M_out3 0xF00000u
#define M_out4 0xF000000u
#define M_debug 0xF0000000u
#define M_print_d 0x8u        /* print's highest sub-level alone */
#define M_debug_d 0x80000000u /* debug's highest sub-level: developers' diagnostics */

/* Kinds of data file recognised by FILE_type (by their leading text). */
#define FILE_TYPE_SFC 11 /* "KEMSFC" */
#define FILE_TYPE_UPA 12 /* "KEMUPA" */
#define FILE_TYPE_RAW 5  /* "KEMRAW" */
#define FILE_TYPE_GRID 6 /* "KEMGRID" */
#define FILE_TYPE_META 8 /* "KEMMETA" */
#define FILE_TYPE_IMG 9  /* "KEMIMG" */

/* ------------------------------------------------------------------------
 * Records
 * ---------------------------------------------------------------------- */

/* One station of the station database. */
typedef struct {
    char name[21];  /* station or place name, no blanks in the file */
    char state[3];  /* state code */
    char region[3]; /* region (country) code */
    char id[10];    /* identifier */
    int prior;      /* priority 0 to 9 */
    char mos;       /* '*' when flagged, else ' ' */
    char ua;        /* '*' when flagged, else ' ' */
    float lat;      /* latitude, degrees */
    float lon;      /* longitude, degrees */
    float el;       /* elevation; -9999 when missing */
    int wmo;        /* station number; -9999 when unset */
    int num;        /* the record's last whole number, as stored */
} CTY_data;

/* Description of the open station database. */
typedef struct {
    int dtype; /* file type given at open */
} CTY_info;

/* Conversion kinds of a resource value (values fixed). */
typedef enum {
    CV_none = 0,
    CV_bool = 1,
    CV_int = 2,
    CV_short = 3,
    CV_long = 4,
    CV_float = 5,
    CV_string = 6,
    CV_strcpy = 7,
    CV_path = 8,
    CV_mess = 9,
    CV_draw = 10,
    CV_current = 11,
    CV_hour = 12,
    CV_region = 13,
    CV_name = 14,
    CV_ingestor = 15,
    CV_file_param = 16,
    CV_device = 17,
    CV_plot_type = 18,
    CV_color = 19,
    CV_domain = 20,
    CV_strings = 21,
    CV_batch = 22,
    CV_help = 23
} DEF_convert;

/* One resource of the process-wide store. */
typedef struct resource {
    int index;             /* entry in the key table, or -9999 */
    char *name;            /* owned; compared case-sensitively */
    char *data;            /* owned, may be null; values joined by '\n' */
    DEF_convert cvt;       /* conversion kind */
    struct resource *next; /* next record in order of first insertion */
} res_obj;

/* Resource codes that programs list; RES_null ends each list. */
/* clang-format off */
typedef enum {
    RES_null, RES_age, RES_background, RES_batch, RES_bin_path,
    RES_bull_file, RES_city_file, RES_color_cgrid, RES_color_clabel,
    RES_color_cloud, RES_color_cmap, RES_color_cont, RES_color_conts,
    RES_color_data, RES_color_echo, RES_color_fill, RES_color_front,
    RES_color_grid, RES_color_hodo, RES_color_hodtxt, RES_color_label,
    RES_color_labels, RES_color_line, RES_color_map, RES_color_pop,
    RES_color_rep, RES_color_sound, RES_color_table, RES_color_text,
    RES_color_therm, RES_color_thrmtxt, RES_color_wind, RES_color_wx,
    RES_command, RES_commands, RES_con_base, RES_con_bases,
    RES_con_interval, RES_con_intervals, RES_con_path, RES_current,
    RES_data_path, RES_data_src, RES_default, RES_draw, RES_decode_hour,
    RES_device, RES_file_param, RES_file_path, RES_filename, RES_filenames,
    RES_font_list, RES_forecast, RES_geometry, RES_grid_num, RES_grid_path,
    RES_grid_type, RES_help, RES_hour, RES_icon, RES_identifier,
    RES_identifiers, RES_identifierp, RES_image_path, RES_in_file,
    RES_in_files, RES_ingest_port, RES_ingestor, RES_input, RES_label,
    RES_labels, RES_level, RES_map_file, RES_message, RES_model, RES_name,
    RES_name_conv, RES_num_grid, RES_num_hour, RES_object_param,
    RES_out_file, RES_out_files, RES_output, RES_parameter, RES_plot_domain,
    RES_plot_format, RES_plot_param, RES_plot_range, RES_plot_scale,
    RES_plot_type, RES_plot_types, RES_position, RES_product, RES_program,
    RES_raw_path, RES_read_conf, RES_region, RES_save_param, RES_stat_prior,
    RES_state, RES_table, RES_time, RES_title, RES_unit, RES_values,
    RES_variable, RES_watch_path, RES_window_num, RES_color_watch,
    RES_log_file, RES_grid_domain, RES_inputg, RES_text_path,
    RES_model_path, RES_sat_path
} res_type;
/* clang-format on */

#define RES_NUM_TYPES 115 /* number of res_type codes */
#define RES_TABLE_SIZE 75 /* key table entries built by RES_init, terminator included */

/*
 * One key-table entry.  `cmd` holds either the short option key (a text)
 * or a positional slot 1 to 10 stored as a small number in place of the
 * pointer: make slots with RES_SLOT(n) and tell them apart with
 * RES_slot_of(), never dereference a slot.
 */
typedef struct {
    const char *def; /* resource name; null ends the table; "" is skipped */
    const char *env; /* environment variable name */
    const char *cmd; /* short key without the dash, or RES_SLOT(n) */
    DEF_convert cvt; /* conversion kind */
    void *out;       /* conversion destination, or null */
    int *num;        /* item count of a CV_strings destination, or null */
} RES_defobj;

#define RES_SLOT(n) ((const char *)(uintptr_t)(n))

/* A date and time; -9999 (KEM_MISSING) in a field means "not set". */
typedef struct {
    int32_t year;  /* full year once normalised */
    int32_t month; /* 1 to 12 */
    int32_t day;   /* 1 to 31 */
    int32_t jday;  /* day of the year, 1 to 366 */
    int32_t wday;  /* day of the week, 0 (Sunday) to 6 */
    int32_t hour;  /* 0 to 23 */
    int32_t min;   /* 0 to 59 */
    int32_t sec;   /* 0 to 59 */
} Date;

/* A plot domain: projection, its parameters, centre and grid. */
typedef struct {
    int proj;       /* projection code; -9999 when missing */
    float plat;     /* first projection parameter (a latitude) */
    float plon;     /* second projection parameter (a longitude) */
    float param[5]; /* further projection parameters */
    float clat;     /* centre latitude */
    float clon;     /* centre longitude */
    float dx;       /* spacing between grid columns */
    float dy;       /* spacing between grid rows */
    int nx;         /* number of grid columns */
    int ny;         /* number of grid rows */
    int ellipse;    /* 1 on the ellipsoid, 0 on the sphere */
} Domain;

/* One menu entry; a menu ends with an entry whose name is null. */
typedef struct {
    char *name;   /* description shown */
    char *abbr;   /* abbreviation */
    int index;    /* value returned when chosen */
    int disp[10]; /* listed in menu type t when disp[t] is exactly 1 */
} MENU_item;

/* One queue message: type 1 to the server, 2 for connection answers, else
   the client's connection number; a code character, the text and a NUL
   in the first 120 bytes of mtext. */
typedef struct {
    long mtype;
    char mtext[124];
} mqueuebuf;

#define TAB_MAX_KEYS 4 /* keys a table record can be entered under */

/* One entry of a bucket chain. */
typedef struct TAB_entry {
    char *key;              /* owned copy of the key text; null in an empty slot */
    void *data;             /* the record, shared by its entries under every key */
    struct TAB_entry *link; /* next entry of the same bucket */
    struct TAB_entry *next; /* next record in entry order (first key's entries) */
} TAB_entry;

/* A table of records under one to four keys.  Set up with TAB_init and
   TAB_create; TAB_clear frees everything and leaves it empty. */
typedef struct {
    int tab_size;                   /* buckets per key; 0 when empty */
    int data_size;                  /* bytes of one record */
    TAB_entry *data_ptr;            /* cursor of the walk in entry order */
    TAB_entry *head_ptr, *last_ptr; /* first and last record in entry order */
    int num_entry;                  /* records entered */
    int numkey;                     /* keys per record, 1 to 4 */
    TAB_entry *table[TAB_MAX_KEYS]; /* one bucket array per key */
} TAB_table;

/* A located station. */
typedef struct {
    char id[11]; /* lookup identifier */
    int wmo;     /* station number */
    float x, y;  /* position in the plot domain's grid */
    float el;    /* elevation */
    int pr;      /* priority */
} CTY_locate;

/* Records of the station table: kind 1 keeps the station record, kinds 2
   and 3 a located station; `ptr` is the station's attached block. */
typedef struct {
    CTY_data city;
    void *ptr;
} stat_FULL_data;
typedef struct {
    CTY_locate loc;
    void *ptr;
} stat_XY_data;

/* ------------------------------------------------------------------------
 * string.cpp - line readers and string utilities
 * ---------------------------------------------------------------------- */

/* Line readers: characters stored (string readers 1), 0 for an empty line, -1 at end of file. */
int fgetline(FILE *ifile, char *string);
int fgetnline(FILE *ifile, char *string, int len);
int fgetstring(FILE *ifile, char *string, int len);
int fget_rawstring(FILE *ifile, char *string, int len);
int fskipline(FILE *ifile);

/* Searches: 0 for equal (stricmp), 1/0 found (searchstr), null or -9999 for not found. */
int stricmp(const char *s1, const char *s2);
int strnicmp(const char *s1, const char *s2, int n);
int searchstr(char **s1, int n, const char *s2);
char *strlstr(const char *s1, const char *s2);
int chk_arg(const char *arg, char **items, int num_items);

/* In-place edits: 0, or 1/0 for done or refused; set_num the text, or null. */
int trim_string(char *string);
int trim_cr_string(char *string);
int wsstrip_string(char *string);
int wstrim_string(char *string);
int strip_string(char *string, char tar);
int strip_spaces(char *string);
int strip_escape(char *string);
int fill_string(char *string, char tar, char fill);
int shift_string(char *string, int num);
int up_string(char *string);
int low_string(char *string);
int clean_line(char *line);
int strntcpy(char *str1, const char *str2, int n);
int strmcat(char *s1, const char *s2, int m);
char *set_num(char *str, const char *format, float x);

/* Classification: 1 when the text is of the kind, else 0. */
int string_is_float(const char *string);
int string_is_alpha(const char *string);
int string_is_num(const char *string);
int string_is_num_len(const char *string, int len);
int string_is_blank(const char *string);

/* Allocating: a copy or null; parsers 0 and an array for free_parsed_array, or -1. */
char *create_string(const char *string);
char *create_strcat(const char *oldstr, const char *delim, const char *string);
int parse_string(const char *string, char delim, int *argc, char ***argv);
int parse_command(const char *string, int *argc, char ***argv);
int parse_command_line(const char *command, const char *string, int *argc, char ***argv);
int free_parsed_array(int argc, char **argv);

/* ------------------------------------------------------------------------
 * tools.cpp - byte order, numeric helpers, station-number conversion
 * ---------------------------------------------------------------------- */

/* -1 stops swapping; 1 declares big-endian data, 2 little-endian data
   (swap only when the host differs); anything else swaps.  Returns 0. */
int swap_setup(int flag);
/* Reverse the bytes of one or `num` 2-, 4- or 8-byte values in place:
   0, or -1 (nothing changed) while swapping is off. */
int swap_short(void *ptr);
int swap_long(void *ptr);
int swap_double(void *ptr);
int swap_shorts(void *ptr, int num);
int swap_longs(void *ptr, int num);
/* Read one value and swap it: the number read, 1 or 0. */
int fread_short_swap(void *data, FILE *ifile);
int fread_long_swap(void *data, FILE *ifile);
int fread_double_swap(void *data, FILE *ifile);
/* Swap the caller's value in place (left in file order), then write it:
   the number written. */
int fwrite_short_swap(void *data, FILE *ofile);
int fwrite_long_swap(void *data, FILE *ofile);
int fswap(float *x, float *y);
/* y1 when x1 equals x2. */
float linear_interp(float x, float x1, float x2, float y1, float y2);
int float2int(float x);
/* Identifier of a station number; `id` holds at least 6 bytes.  Returns 0. */
int wmo_to_id(char *id, int wmo);
/* 0 and the number in *wmo, or -1 with 99999 (a five-digit text gives its
   value and still -1). */
int id_to_wmo(const char *id, int *wmo);

/* ------------------------------------------------------------------------
 * files.cpp - paths and file access (FILE_)
 * ---------------------------------------------------------------------- */

/* File facts: 1/0 for yes or no, a size, time or code; -1 when it cannot be examined. */
int FILE_fullpath(const char *name);
int FILE_is_stdio(const char *name);
int FILE_add_path_delim(char *path);
/* Joins a directory and a name into a 160-byte buffer; the buffer, or null
   when the joined path does not fit (the buffer then holds it cut). */
char *FILE_add_path(const char *path, const char *file, char *filename);
int FILE_add_user_path(const char *name, char *filename);
int FILE_exist(const char *name);
int FILE_is_dir(const char *name);
int FILE_is_file(const char *name);
int FILE_is_fifo(const char *name);
int FILE_is_device(const char *name);
long FILE_size(const char *name);
long FILE_modtime(const char *name);
int FILE_delete(const char *name);
int FILE_make_dir(char *dir, int flag);
FILE *FILE_open(const char *file, const char *access);
int FILE_type(const char *name);
int FILE_overwrite(const char *filename, int flag);
int KEM_share(int mode);

/* ------------------------------------------------------------------------
 * file_name.cpp - data file naming (FILE_)
 * ---------------------------------------------------------------------- */

/* Selecting a type: its template from the name convention file ("name_conv"
   joined to "file_path"); settings ":c=text" after the type set key texts.
   1 when a template was found or given. */
int FILE_set_name(const char *type);
/* "%d %s %s": the file period, the template and the header template. */
int FILE_set_name_conv(const char *str);
int FILE_get_name_conv(char *str);
int FILE_save_name_conv(void);
int FILE_restore_name_conv(void);
int FILE_set_filename(const char *str);
char *FILE_get_filename(char *str);
/* The file period in seconds; -9999 while unknown. */
int FILE_set_late_off(int val);
int FILE_get_late_off(void);
int FILE_set_min_size(int val);
int FILE_get_min_size(void);
/* Fixed (>= 0) and stepped (other negative) date fields for names; a step
   code for hour or minute is -(offset * 100 + step). */
int FILE_set_time(const Date *datim);
int FILE_get_time(Date *datim);
int FILE_reset_time(void);
/* Key texts, indexed by the unsigned byte of `key`: at most 29 characters,
   blanks stored as '_'; FILE_get_key copies into 30 bytes. */
int FILE_set_key(int key, const char *str);
int FILE_get_key(int key, char *str);
int FILE_set_type(int type);
int FILE_set_ext_info(const char *str);
const char *FILE_get_ext_info(void);
int FILE_get_date(Date *date);
/* Names into 160-byte buffers, cut at 159 characters. */
int FILE_set_date(const Date *datim, char *out_file);
int FILE_hdr_set_date(const Date *datim, char *out_file);
int FILE_set_date_off(const Date *datim, int offset, char *out_file);

/* ------------------------------------------------------------------------
 * file_match.cpp - typed names read back into dates (FILE_)
 * ---------------------------------------------------------------------- */

int FILE_extract_extra_info(char *file);
int FILE_set_file(const char *file, char *out_file);

/* ------------------------------------------------------------------------
 * file_current.cpp - the current and latest file of a type (FILE_)
 * ---------------------------------------------------------------------- */

time_t FILE_set_current(const char *cur, char *filename);

/* ------------------------------------------------------------------------
 * file_walk.cpp - choosing, walking and listing data files (FILE_)
 * ---------------------------------------------------------------------- */

/* Prints the files the template can match, across in columns; runs no
   command. */
int FILE_list_file(void);
int FILE_get_file(const char *prompt, char *outfile);
int FILE_get_file_only(const char *prompt, char *outfile);
int FILE_first(const Date *datim);
int FILE_get_next(char *file);
int FILE_next_file(char *file);
int FILE_prev_file(char *file);
int FILE_num_hour(void);
int FILE_get_skip(void);
int FILE_get_offset(void);
int FILE_set_def_hours(int hour);
int FILE_get_num_hour(void);
int FILE_get_num_file(void);
int FILE_get_nsecs(void);
int FILE_set_nsecs(int val);
int FILE_print_first_date(const char *str);

/* ------------------------------------------------------------------------
 * mess.cpp - levelled message output (MESS_)
 * ---------------------------------------------------------------------- */

/* Setters 0, queries the level, count or 1/0; MESS_print 1 when shown on the terminal. */
int MESS_set(int oper, M_type level);
int MESS_set_str(const char *str);
M_type MESS_get(void);
int MESS_check_set(void);
int MESS_check(M_type level);
int MESS_file(const char *filename, const char *access);
int MESS_file_close(void);
int MESS_set_out(int val);
int MESS_set_page(int val);
int MESS_get_max_lines(void);
int MESS_print(M_type type, const char *mess, ...) KEM_PRINTF(2, 3);
int MESS_hold(M_type type, const char *mess);
int MESS_print_prog(const char *string);

/* ------------------------------------------------------------------------
 * mqueue.cpp - message link to a display window (MQ_)
 * ---------------------------------------------------------------------- */

typedef void (*MQ_handler)(int);

/* Configuration: all answer 0.  Timeouts of 0 or less are ignored.  The
   "parameter" values read by MQ_params: "to=N" (seconds), "qtype=sock",
   "qtype=mqueue", "qoffset=N" (the window-number offset). */
int MQ_timeout(int val);
int MQ_timeout_func(MQ_handler func);
int MQ_offset(int ind);
int MQ_settype(int ind);
int MQ_params(void);
int MQ_enable_alarm(void);
int MQ_disable_alarm(void);
/* Default alarm handler: "Queue not responding!!" and exit status 7. */
void MQ_intrp(int sig);

/* Client.  MQ_open: the queue identifier, or 1 for a connected socket; -1
   when no such window exists, -2 when the look-up failed otherwise, -3
   when the window is not the user's (a queue that another user owns or
   made, or that grants group or others anything; a socket whose other end
   belongs to another user; root's count as the user's).
   MQ_connect: a connection number 3 to 21, or -1.  MQ_get: the status the
   server sent, the text in `item` (120 bytes), or -1. */
int MQ_open(int num);
int MQ_connect(int msgqid);
int MQ_put(int msgqid, int conn_id, const char *format, ...) KEM_PRINTF(3, 4);
int MQ_get(int msgqid, int conn_id, char *item);
int MQ_clear(int msgqid, int index);

/* Server.  MQ_sget never waits: 1 for a request, 2 for a connection
   request (already answered), 0 or less for nothing.  MQ_find: the first
   free window number from `ind`, or -1. */
int MQ_create(int num);
int MQ_sget(int msgqid, int *conn_id, char *item);
int MQ_sput(int msgqid, int conn_id, int flag, const char *format, ...) KEM_PRINTF(4, 5);
int MQ_del(int msgqid);
int MQ_find(int ind);

/* ------------------------------------------------------------------------
 * system.cpp - process, prompt and timing utilities (KEM_)
 * ---------------------------------------------------------------------- */

/* A value, exit code, slot index or 0 on success; -1 for a missing slot or child. */
const char *KEM_version(void);
void KEM_exit(int status) KEM_NORETURN;
int KEM_get_pid(void);
long KEM_get_virt_mem(void);
int KEM_set_command(const char *string);
char *KEM_promptl(const char *prompt, char *str);
char *KEM_prompts(const char *prompt, char *str, int length);
float KEM_promptf(const char *prompt);
int KEM_promptd(const char *prompt);
int KEM_sleep(float secs);
int KEM_init_time(void);
float KEM_elapse_time(void);
int KEM_run(const char *filename, char **argv, char **env, int flag);
int KEM_run_func(int (*func)(int), int arg);
int KEM_back_proc(void);
int KEM_add_proc(int pid, const char *name);
int KEM_numproc(void);
int KEM_proc(int pid);
int KEM_proc_id(int proc);
const char *KEM_proc_name(int proc);
int KEM_set_proc(int proc, int value);
int KEM_clr_proc(int proc);
int KEM_chk_proc(int proc);
int KEM_set_infile(const char *name);
int KEM_set_outfile(const char *name);

/* ------------------------------------------------------------------------
 * flag.cpp - program flags and plot switches (FLAG_)
 * ---------------------------------------------------------------------- */

/* Flag words with a fixed use (of 30, numbered 0 to 29). */
enum {
    FLAG_WORD_DEVICE = 2,      /* output device code, from the device letter */
    FLAG_WORD_PLOT_TYPE = 11,  /* plot type code */
    FLAG_WORD_FILE_PARAM = 15, /* 1 over/calc, 2 app, 3 use */
    FLAG_WORD_BATCH = 19,      /* batch mode when greater than 0 */
    FLAG_WORD_HELP = 20        /* help requested when greater than 0 */
};

/* Plot switches with a meaning of their own (of 13, numbered 0 to 12). */
enum {
    PLOT_TEXT = 0, /* derived: how many text positions 1 to 6 are on */
    PLOT_BORDER = 11,
    PLOT_ALL = 12 /* derived: the sum of switches 0 to 11 */
};

/* Getters the word or switch (0 outside the tables); setters 0, or -1 outside them. */
int FLAG_get(int num);
int64_t FLAG_getl(int num);
int FLAG_set(int num, int value);
int FLAG_setl(int num, int64_t value);
int FLAG_reset(int value);
int FLAG_resetl(int64_t value);
int FLAG_batch(void);
int FLAG_set_batch(int value);
int FLAG_help(void);
int FLAG_setplot(int ind, int value);
int FLAG_getplot(int ind);
int FLAG_resetplot(int value);

/* ------------------------------------------------------------------------
 * resrc.cpp - the resource store and the program name (RES_)
 * ---------------------------------------------------------------------- */

/* Writers 0, or -1 when no record can be made; readers the value, null or 0 for none. */
int RES_new(int index, const char *name, const char *data, DEF_convert cvt);
int RES_append(int index, const char *name, const char *data, DEF_convert cvt);
int RES_put(const char *name, const char *value);
const char *RES_get(const char *name);
int RES_getval(const char *name, void *out, DEF_convert cvt);
int RES_getvals(const char *name, int *paramc, char ***paramv);
int RES_list(void);
int RES_setCL(int argc, char **argv);
const char *RES_get_prog(void);
char *RES_get_progname(char *prog);

/* ------------------------------------------------------------------------
 * res_help.cpp - the option vocabulary: key-table entries and help (RES_)
 * ---------------------------------------------------------------------- */

/* 1 (an unknown code prints its number, its entry matches nothing); 0 for a null entry. */
int RES_fill_obj(RES_defobj *obj, const char *def, const char *env, const char *cmd,
                 DEF_convert cvt, void *out, int *num);
int RES_enter(RES_defobj *obj, res_type code);
int RES_help_print(const char *prog, const res_type *keyed, const res_type *positional);
int RES_help_item(res_type code);

/* ------------------------------------------------------------------------
 * res_init.cpp - start-up: command line, defaults files, environment (RES_)
 * ---------------------------------------------------------------------- */

/* Fill the store from every source and convert: RES_init 1, RES_decode 0; never fail. */
int RES_init(int argc, char **argv, const res_type *keyed, const res_type *positional);
int RES_decode(const char *prog, const char *cls, int argc, char **argv, RES_defobj *table);

/* ------------------------------------------------------------------------
 * res_conv.cpp - conversion of resource values (RES_)
 * ---------------------------------------------------------------------- */

/* A device code (1 when unknown); 1 when converted, 0 without value or destination. */
int RES_set_device(const char *dev);
int RES_conv_data(const char *value, void *out, DEF_convert cvt);

/* ------------------------------------------------------------------------
 * def_read.cpp - defaults file reader (DEF_)
 * ---------------------------------------------------------------------- */

/* Program name, title and tags that select keys: 0 (DEF_tag -1 when refused). */
int DEF_prog(void);
int DEF_name(const char *name);
int DEF_title(const char *title);
int DEF_clr_tag(void);
int DEF_tag(const char *tag);
/* The open file: 0, or -1 when it cannot be opened; DEF_cmp and DEF_valid 1 or 0. */
int DEF_open(const char *name);
int DEF_close(void);
/* Next deliverable setting: key (at most 49 characters, buffer of 50
   bytes; longer keys are skipped with a warning) and value (at most 199,
   buffer of 200; longer values are cut).  1, or -1 at end of file. */
int DEF_get(char *key, char *value);
int DEF_cmp(const char *res, const char *key);
int DEF_valid(const char *key);
/* Copies the text after the key's last '.' or '*' (the whole key when it
   has neither) into `name`, at most 29 characters and a NUL: the buffer
   holds 30 bytes.  DEF_valid refuses keys whose bare name is longer, so a
   valid key's name is never cut.  Always 1. */
int DEF_parse_name(const char *key, char *name);
/* `value` holds 200 bytes: at most 199 characters are copied. */
int DEF_env(const char *res, const char *env, char *value);

/* ------------------------------------------------------------------------
 * date.cpp - dates and clocks (DATE_)
 * ---------------------------------------------------------------------- */

/* Names: "JAN", "jan", "January" for months 1 to 12, "SUN" to "SAT" for
   days 0 to 6; the empty text outside those ranges. */
const char *DATE_month(int month);
const char *DATE_month_lower(int month);
const char *DATE_month_long(int month);

int DATE_init(Date *date);
int DATE_print(M_type type, const Date *date);
/* One process-wide record holding the fields, sec 0; jday and wday as
   they were. */
Date *DATE_to_struct(int year, int month, int day, int hour, int min);

/* Display time zone from a text like "-CST:-6": a leading '-' chooses the
   12-hour clock with universal time in brackets, '+' the 12-hour clock,
   then a name of up to four characters and an offset in hours. */
int DATE_set_TZ(const char *zone);
int DATE_get_tz_off(void);
const char *DATE_get_tz_str(void);

/* The current universal time: "26 DEC 07  08:24:17Z" into 21 bytes,
   "07-08:24Z" into 10 bytes, or a record. */
int DATE_get_current_str(char *str);
int DATE_get_simple_current_str(char *str);
int DATE_print_current(M_type type);
int DATE_get_current_gmdate(Date *date);
time_t DATE_get_time(time_t *secs);
struct tm *DATE_get_gmtime(const time_t *secs);
struct tm *DATE_get_localtime(const time_t *secs);
/* The date of `secs` (of now when null) in universal or local time. */
int DATE_get_gmdate(const time_t *secs, Date *date);
int DATE_get_localdate(const time_t *secs, Date *date);

int DATE_is_leap(int year);
/* Seconds since 1970 of a record, normalised in place first: a negative
   year is 1980, years below 50 are 20xx and below 200 are 19xx; other
   fields out of range become 1 (month, day) or 0 (hour, min, sec). */
time_t DATE_num_sec(Date *date);
time_t DATE_num_sec_tm(const struct tm *tm);
/* Day numbers: 1970-01-01 is day 1; counts of 0 or less are days before. */
int DATE_date_days(int year, int month, int day);
int DATE_days_date(int days, int *year, int *month, int *day);
/* Hours, minutes and seconds of a count of seconds, no wrap at 24; 1. */
int DATE_time_date(int rsecs, int *hour, int *min, int *sec);
/* Day of the year to month and day and back, clamped to the year. */
int DATE_julian_monday(int year, int julian, int *month, int *day);
int DATE_monday_julian(int year, int month, int day, int *julian);

/* ------------------------------------------------------------------------
 * date_label.cpp - date labels and the decoding window (DATE_)
 * ---------------------------------------------------------------------- */

/* Labels go into caller buffers; 80 bytes hold every label. */
char *DATE_fhour_label(char *str, int fhour, int flag);
int DATE_make_label(Date *date, char *str);
int DATE_make_label_for_time_mod(int fhour, const char *model, const Date *date, char *str);
int DATE_make_label_for_time(int fhour, int model, const Date *date, char *str);
int DATE_make_label_for(int fhour, int model, time_t secs, char *str);
int DATE_make_label_valid_time(int fhour, const Date *date, char *str);
int DATE_format_label(char *str, const char *format, int fhour, const char *model,
                      const Date *date);
int DATE_make_seq(Date *date, char *str);
int DATE_decode_seq(const char *str, Date *date);
int DATE_decode_label(const char *str, Date *date);
int DATE_decode_month(const char *str);
int DATE_set_datim(const Date *date);
int DATE_get_datim(Date *date);
int DATE_set_range(int pre, int post);
int DATE_chk_range(int time);

/* ------------------------------------------------------------------------
 * domain.cpp - plot-domain strings decoded and compared (DOM_)
 * ---------------------------------------------------------------------- */

/* Field codes of a domain string, for DOM_set_params; 0 ends a list. */
#define DOM_F_PROJ 1
#define DOM_F_PLON 3
#define DOM_F_STATION 4
#define DOM_F_CLAT 5
#define DOM_F_CLON 6
#define DOM_F_NX 7
#define DOM_F_NY 8
#define DOM_F_DX 9
#define DOM_F_DY 10
#define DOM_F_REGION 11

int DOM_init(Domain *domain);
int DOM_proj_str(const char *proj);
/* -9999 for no text, empty text or "miss"; 1 for a decoded domain; 2 for
   a region; -1 for an invalid domain string. */
int DOM_decode(const char *str, Domain *domain);
/* Fits `paramc` items to the field codes i1..i8 (ended by 0, or after the
   eighth): 0 when they fit, -1 when their number differs, 1 for an unknown
   projection keyword, else the code of the first field that failed. */
int DOM_set_params(int paramc, char **paramv, Domain *domain, int i1, int i2, int i3, int i4,
                   int i5, int i6, int i7, int i8);
int DOM_set_base_prior(float size);
int DOM_set_prior(int prior);
int DOM_get_prior(void);
int DOM_set_loc_prior(int prior);
int DOM_get_loc_prior(void);
int DOM_print(M_type mess, const Domain *domain);
float DOM_aspect(const Domain *domain);
int DOM_comp(const Domain *d1, const Domain *d2);
int DOM_comp_proj(const Domain *d1, const Domain *d2);

/* ------------------------------------------------------------------------
 * region.cpp - built-in regions, region files and the region menu (DOM_)
 * ---------------------------------------------------------------------- */

int DOM_get_def_region(const char *region, Domain *domain);
int DOM_read_menu(const char *file);
/* `domstr` holds at least 80 bytes. */
int DOM_search_file(const char *file, const char *str, char *domstr);
int DOM_print_file(const char *file);
int DOM_get_region(Domain *domain, int flag);
int DOM_get_grid_domain(Domain *domain);
int DOM_set_prompt_region(int val);
int DOM_prompt_region(Domain *domain, int flag);
const char *DOM_get_region_name(int region);

/* ------------------------------------------------------------------------
 * menu.cpp - numbered menus (MENU_)
 * ---------------------------------------------------------------------- */

/* Bits of the `flag` of the menu operations. */
#define MENU_EXIT 1   /* offer "-1: Exit program" (or 0 without a return) */
#define MENU_RETURN 2 /* offer entry 0 as choice 0 */
#define MENU_HELP 4   /* offer item 99 */

int MENU_print(const char *title, const MENU_item *menu, int menu_num, int flag);
/* `string` receives the answer; it holds at least 81 bytes (an abbreviation
   longer than 80 characters is cut). */
int MENU_process(const char *title, const MENU_item *menu, int menu_num, const char *prompt,
                 char *string, int flag);
int MENU_search(const char *item, const MENU_item *menu);
const char *MENU_get_abbr(int index, const MENU_item *menu);
int MENU_check(int index, const MENU_item *menu, int menu_num);

/* ------------------------------------------------------------------------
 * cty_read.cpp - station record and database file (CTY_)
 * ---------------------------------------------------------------------- */

/* A descriptor, field count or 0 on success; -1 on failure or at end of file. */
int CTY_open(const char *filename, int f_access, int f_type);
int CTY_getinfo(int city_fd, CTY_info *info);
int CTY_rewind(int city_fd);
int CTY_close(int city_fd);
int CTY_read(int city_fd, CTY_data *city);
int CTY_data_init(CTY_data *data);
/* Lookups: a descriptor, 1 for found or a setting; -1 or 0 for a missing file or station. */
int CTY_open_file(const char *city_file, int *num_stats);
int CTY_get(const char *city_file, const char *id, CTY_data *data);
int CTY_get_loc(const char *city_file, const char *id, float *lat, float *lon);
int CTY_get_prior(void);

/* ------------------------------------------------------------------------
 * cty_tool.cpp - station selection expressions
 * ---------------------------------------------------------------------- */

/* Selection: 1 when the station or identifier is selected, else 0. */
int CTY_data_cmp(int numid, char **ids, const CTY_data *data);
int CTY_id_cmp(const char *ids, const char *id);
int CTY_ids_cmp(int numid, char **ids, const char *id);

/* ------------------------------------------------------------------------
 * table.cpp - keyed hash table (TAB_)
 * ---------------------------------------------------------------------- */

/* The bucket of a key text in a table of `tsize` buckets. */
int TAB_key(const char *key, int tsize);
int TAB_init(TAB_table *tab);
/* 0, or -1 (table left empty) for bad sizes or when memory runs out. */
int TAB_create(TAB_table *tab, int tsize, int dsize, int nkey);
/* Copies `data` once and enters it under exactly `numkey` key texts.
   0, or -1 (nothing entered) for a missing key or when memory runs out. */
int TAB_enter(TAB_table *tab, const void *data, ...);
/* The first record entered under key number `keynum` (1 to numkey), or null. */
void *TAB_search(const TAB_table *tab, int keynum, const char *key);
/* All such records, first entered first, at most `max`: their number. */
int TAB_searches(const TAB_table *tab, int keynum, const char *key, void **ptrs, int max);
int TAB_first(TAB_table *tab);
void *TAB_next(TAB_table *tab);
/* Frees every key, entry and record; the table is left empty and usable. */
int TAB_clear(TAB_table *tab);

/* ------------------------------------------------------------------------
 * cty_locate.cpp - the station location table (CTY_)
 * ---------------------------------------------------------------------- */

/* Settings of the station location table, made before CTY_store: the size
   of the block attached to each station (0: none), the function that
   fills it, and the identifier kind of kinds 2 and 3 (0, 1 or 2). */
int CTY_data_size(int size);
int CTY_enter_func(int (*func)(CTY_data *city, void *block));
int CTY_set_id_type(int type);

/* Station location table: one table, filled from the station database
   with the stations inside a plot domain (kinds 1, 2, 3). */
int CTY_store(const char *city_file, int type, const Domain *domain, int prior);
int CTY_make_entry_simple(const char *id, const char *wmo);
/* Copies a stat record's CTY_data (kind 1) or CTY_locate (kinds 2, 3)
   into `data`.  1 when found, 0 when not. */
int CTY_search(const char *id, void *data);
int CTY_search_loc(float lat, float lon, CTY_locate *data);
void *CTY_get_data(const char *id);
void *CTY_next_data(int next);
int CTY_clear_data(int flag);
/* Frees the table and every attached block. */
int CTY_clear(void);
TAB_table *CTY_get_table(void);

/* ------------------------------------------------------------------------
 * var.cpp - variable and model descriptors (VAR_)
 * ---------------------------------------------------------------------- */

/* The name of model number `model` into `name` (at least 20 bytes), empty
   when the number names no model; 1 when named, else 0. */
int VAR_model(char *name, int model);

/* ------------------------------------------------------------------------
 * calc.cpp - surface calculations
 * ---------------------------------------------------------------------- */

/* Kelvin, millibars, g/kg, percent, m/s, metres, degrees, kilometres.
 * Pure: floats in and out, no state; missing or unusable input gives
 * KEM_MISSING (or 0 or the input where a function's rule says so).  A
 * humidity argument up to 100 is a vapour pressure (a mixing ratio for
 * virt_temp), above it a temperature. */
float vapor_pr(float t);
float temp_vapor_pr(float e);
float mix_ratio(float temp, float pr);
float spec_hum(float temp, float pr);
float rel_hum(float t, float td);
float dew_temp(float temp, float rh);
float pot_temp(float temp, float pr);
float temp_on_dryad(float pot, float pr);
float virt_temp(float temp, float dewp, float pr);
float virt_pot_temp(float temp, float dewp, float pr);
float temp_on_mixrat(float w, float pr);
float thetae_on_satad(float temp, float pr);
float temp_on_satad(float pot, float pr);
float lcl_pres(float ts, float tds, float ps);
float lcl_temp(float ts, float ps, float pl);
float conv_temp(float wbar, float pc, float pr);
float eq_pot_temp(float temp, float dewp, float pr);
float wet_bulb(float temp, float dewp, float pr);
float wet_bulb_pot_temp(float temp, float dewp, float pr);
float interp_temp(float t1, float t2, float p1, float p2, float pr);
float wind_chill_temp(float temp, float ws);
float wind_chill_temp2(float temp, float ws);
float wind_chill(float temp, float ws);
float heat_index(float temp, float dewp);
float humiture(float temp, float dewp);
float temp_hum_index(float temp, float dewp);
float sfc_pr_alt(float alt, float el);
float pres_alt(float pres);
/* Great-circle distance in km between positions in degrees; -9999 for a missing one. */
float calc_earth_dist(float lat1, float lon1, float lat2, float lon2);

/* ========================================================================
 * Extensions
 *
 * What this library adds to the suite's common interface: prepared station
 * selections and the station columns, record output, the map placement
 * the location table needs, and small accessors.  The rest of this header
 * is the interface every program of the suite shares.
 * ======================================================================== */

/* ------------------------------------------------------------------------
 * files.cpp, file_current.cpp - closing streams, the hour resource
 * ---------------------------------------------------------------------- */

/* Closes a stream from FILE_open: a pipe with pclose, a standard stream
   only flushed, anything else with fclose.  0, or -1 for a null stream. */
int FILE_close(FILE *stream);
/* The date and time of an hour resource ("-ho", "kemhour", "hour:") set
   for names, as the resource conversion reads it; 1. */
int FILE_conv_hour(const char *value);

/* ------------------------------------------------------------------------
 * mess.cpp - the route of plain output
 * ---------------------------------------------------------------------- */

/* 1 when a shown message of a kind other than error and warn goes to
   standard output and nowhere else, without paging; else 0. */
int MESS_plain_stdout(void);

/* ------------------------------------------------------------------------
 * date.cpp - day names and the clock style
 * ---------------------------------------------------------------------- */

const char *DATE_day_name(int wday);
/* Clock style: 0 24-hour, positive 12-hour, negative 12-hour and universal. */
int DATE_get_tz_pm(void);

/* ------------------------------------------------------------------------
 * res_help.cpp - positional slots
 * ---------------------------------------------------------------------- */

/* The positional slot 1 to 10 of an entry, or 0 for a keyed entry. */
int RES_slot_of(const RES_defobj *obj);

/* ------------------------------------------------------------------------
 * cty_read.cpp, cty_tool.cpp - reading through a prepared selection
 * ---------------------------------------------------------------------- */

/* A prepared selection (cty_tool.cpp). */
typedef struct CTY_select CTY_select;
/* CTY_read, passing over the records whose texts no item of `sel` can
   select (null: none is passed over); the count of the record answered. */
int CTY_read_select(int city_fd, CTY_data *city, const CTY_select *sel);
/* The opening of CTY_open_file, for a path already formed; `usable` 0 for
   a path that did not fit, refused with the same warning.  The descriptor
   or -1. */
int CTY_open_path(const char *path, int usable, int *num_stats);

/* A list of items prepared once and matched against many records:
   CTY_select_cmp answers as CTY_data_cmp does for the same list;
   CTY_select_texts answers 0 when the record's texts (name, state, region,
   identifier) already rule out every item, else 1; CTY_select_words
   answers 0 only when they do for a record whose name, state and
   identifier are the counted texts given (1 when unsure).  CTY_select_new
   answers null only when memory runs out (such a selection matches
   nothing); freeing null does nothing. */
CTY_select *CTY_select_new(int numid, char **ids);
int CTY_select_cmp(const CTY_select *sel, const CTY_data *data);
int CTY_select_texts(const CTY_select *sel, const CTY_data *data);
int CTY_select_words(const CTY_select *sel, const char *name, int name_len, const char *state,
                     int state_len, const char *id, int id_len);
void CTY_select_free(CTY_select *sel);
/* The centre of the first item holding "RA<lat:lon:km" with a readable,
   finite position (the range may be unreadable): 1 and the position, or
   0 when no item has one. */
int CTY_select_centre(const CTY_select *sel, float *lat, float *lon);
/* Why item `item` (counted from 0) cannot be read as it stands (a key
   that is none, a number that is not one, RA< without its pieces ...), or
   null when it can.  Such an item matches nothing, or what the part that
   could be read selects. */
const char *CTY_select_problem(const CTY_select *sel, int item);
/* Notes the plain items (identifiers, station numbers, name prefixes) that
   a record answers, for CTY_select_noted: 0, or -1. */
int CTY_select_note(CTY_select *sel, const CTY_data *data);
/* 1 when a noted record answered plain item `item`, 0 when none did, -1
   for an item that is not plain. */
int CTY_select_noted(const CTY_select *sel, int item);

/* ------------------------------------------------------------------------
 * map.cpp - the plot domain's map transformation (MAP_)
 * ---------------------------------------------------------------------- */

/* Sets up the transformation of a domain: polar stereographic (1),
   latitude-longitude (2), Mercator (3) or Lambert conformal (4).  0, or -1
   with a warning for any other projection or an incomplete grid. */
int MAP_setup(const Domain *domain);
/* Latitude and longitude (degrees) to x and y in grid units: the first
   column and row are 0, y grows northward.  0, or -1 when the point has
   no place on the map (or nothing is set up). */
int MAP_ll_to_xy(float lat, float lon, float *x, float *y);
/* 1 when x, y lies on the grid (0 to nx-1, 0 to ny-1), else 0. */
int MAP_inside(float x, float y);

/* ------------------------------------------------------------------------
 * out.cpp - records written to standard output (OUT_)
 * ---------------------------------------------------------------------- */

/* How records are written: values (with "Key=" before each at the out1
   message level); one JSON object a line; CSV, a header row of the field
   names then a row a record (RFC 4180 quoting, lines ended by "\n"); or
   one GeoJSON FeatureCollection, a Feature a record. */
typedef enum { OUT_plain = 0, OUT_json = 1, OUT_csv = 2, OUT_geojson = 3 } OUT_format;

/* What a value is, for the formats that tell (JSON, CSV, GeoJSON): a
   text; a number; a number for which -9999 means none; a text for which
   "--" means none; or a number when the whole text is one (-9999 none),
   else a text.  None is JSON's null and an empty CSV cell. */
typedef enum { OUT_text = 0, OUT_number = 1, OUT_measure = 2, OUT_code = 3, OUT_any = 4 } OUT_kind;

/* A writer of records.  When messages go to standard output only
   (MESS_plain_stdout), records are gathered and written in large blocks
   (after every record on a terminal); otherwise each value is a print
   message, each "Key=" an out1 message, so that message files and paging
   see them.  The first write that fails stops the output. */
typedef struct OUT_writer OUT_writer;

/* A new writer; null when memory runs out. */
OUT_writer *OUT_open(OUT_format format);
/* The names of the fields that records will have, in order: CSV's header
   row, written before the first record (or alone when none follows).
   Station writers have them from OUT_station_columns.  0, or -1. */
int OUT_set_names(OUT_writer *out, int count, const char *const *names);
/* One field of the record being written; `name` may be null (no "Key="
   in plain output).  0, or -1 once the output could not be written. */
int OUT_put_field(OUT_writer *out, const char *name, const char *value, OUT_kind kind);
/* The position of the record being written, in degrees: a GeoJSON
   feature's point (without one, or for -9999, its geometry is null).  0. */
int OUT_put_position(OUT_writer *out, float lat, float lon);
/* Ends the record: 0, or -1 once the output could not be written. */
int OUT_end_record(OUT_writer *out);
/* Writes what is left (the end of a feature collection; a CSV header no
   record followed) and frees the writer: 0, or the errno of the write
   that failed.  Closing null does nothing. */
int OUT_close(OUT_writer *out);

/* Station columns: Name, ST, CN, ID, P, Lat, Lon, Elev, WMO (the nine a
   listing prints), then Dist, the distance in km from a centre. */
#define CTY_COLUMNS 10
/* The column named `key` (any case), 0 to CTY_COLUMNS - 1, or -1. */
int CTY_column_find(const char *key);
/* The name of a column, or null. */
const char *CTY_column_name(int column);
/* The name as a listing prints it: trailing blanks removed, the others
   made '_'.  Answers its length. */
int CTY_tidy_name(CTY_data *city);
/* The columns that station records are written with, in order (a column
   may come twice); the nine of a listing until set.  0, or -1 (nothing
   changed) for a number that is no column. */
int OUT_station_columns(OUT_writer *out, const int *columns, int count);
/* One station record; `dist` is its distance in km, negative for none.
   0, or -1 once the output could not be written. */
int OUT_put_station(OUT_writer *out, const CTY_data *city, double dist);

/* `len` bytes of `text` as a JSON string (quotes, backslashes and control
   characters escaped, malformed UTF-8 replaced by U+FFFD), with its
   quotes, into `buf` of `size` bytes, cut and terminated as snprintf
   does.  Answers the length of the whole JSON string. */
size_t OUT_json_string(const char *text, size_t len, char *buf, size_t size);
/* 1 when the whole text is a JSON number (-?(0|[1-9]d*)(.d+)?([eE][+-]?d+)?),
   as the writers give a raw table's field; else 0. */
int OUT_is_number(const char *text);

/* ------------------------------------------------------------------------
 * raw_table.cpp - raw location tables read row by row (RAW_)
 * ---------------------------------------------------------------------- */

/* A raw table: three header lines, a line of column names, then one row
   of blank-separated fields a line (at most 25 columns; names of 29 and
   fields of 119 characters are kept). */
typedef struct RAW_table RAW_table;

/* Opens a table by FILE_open's names and reads its header: null when it
   cannot be opened (nothing is printed).  A table with a short header has
   no rows. */
RAW_table *RAW_open(const char *path);
int RAW_column_count(const RAW_table *t);
/* The name of a column, or null. */
const char *RAW_column_name(const RAW_table *t, int column);
/* The value that selects rows, null for every row: "Column=value", a
   four-character identifier, an identifier or a prefix of "Name_ST", or
   "RA<lat:lon:km" on a table with Lat and Lon columns.  0, or -1 when it
   cannot be read: it then selects nothing and RAW_problem says why. */
int RAW_select(RAW_table *t, const char *value);
const char *RAW_problem(const RAW_table *t);
/* The centre of an RA< value: 1 and its position, or 0. */
int RAW_centre(const RAW_table *t, float *lat, float *lon);
/* Reads to the next selected row: its number of fields (0 for an empty
   line), or -1 at the end of the table. */
int RAW_next(RAW_table *t);
/* Field `i` of the row, or null past its last. */
const char *RAW_field(const RAW_table *t, int i);
/* The row's distance in km from the RA< centre; negative without one or
   without a position. */
double RAW_dist(const RAW_table *t);
/* The row's Lat and Lon when both are numbers: 1 and the position, or 0. */
int RAW_position(const RAW_table *t, float *lat, float *lon);
/* Closes the table's file and frees it; null does nothing.  0. */
int RAW_close(RAW_table *t);

#if defined(__GNUC__)
#pragma GCC visibility pop
#endif

#ifdef __cplusplus
}
#endif

#endif /* KEM_H */
