/*
 * resrc.cpp - resource store, key table, start-up, conversion, help (RES_).
 *
 * A program's whole configuration is a set of named text values kept in
 * one process-wide store: a singly linked list behind a head record that
 * holds no resource itself, appended in order of first insertion and never
 * reordered.  The store owns every name and value it holds.  The module
 * also owns the remembered command line and the key table that RES_init
 * builds from the program's option codes; the table stays alive for the
 * rest of the process because stored records refer to it by index.
 *
 * Failure is reported by result codes: -1 when a record cannot be
 * allocated, 0 for "nothing found / nothing to convert".  Unknown options
 * and unplaced positional words are never errors; start-up prints a warn
 * message only for a loop window it cannot reach and for codes beyond the
 * key table's room.
 */
#include "kem.h"

#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <new>

namespace {

/* ------------------------------------------------------------------------
 * Process-wide state
 * ---------------------------------------------------------------------- */

struct State {
    res_obj root{}; /* head of the store; holds no resource */
    int clargc = 0; /* remembered command line (referenced, not copied) */
    char **clargv = nullptr;
    RES_defobj table[RES_TABLE_SIZE]{}; /* key table built by RES_init */
    RES_defobj no_table[1]{};           /* an empty key table */
};

State state;

/* ------------------------------------------------------------------------
 * The option vocabulary: one row per resource code a program may list
 * ---------------------------------------------------------------------- */

struct Option {
    res_type code;
    const char *key; /* short command-line key, or null for a positional entry */
    int slot;        /* positional slot 1 to 10 when `key` is null */
    const char *def; /* resource name */
    const char *env; /* environment variable */
    DEF_convert cvt;
};

/* Two codes may share a resource (input, in_file, command, filename) and
   two may share a key ("in", "if"): lookups take the first listed. */
constexpr Option options[] = {
    {RES_help, "h", 0, "help", "kemhelp", CV_help},
    {RES_batch, "ba", 0, "batch", "kembatch", CV_batch},
    {RES_message, "me", 0, "message", "kemmess", CV_mess},
    {RES_ingestor, "di", 0, "ingestor", "kemingestor", CV_ingestor},
    {RES_name_conv, "nc", 0, "name_conv", "kemnameconv", CV_name},
    {RES_in_files, "if", 0, "in_file", "keminfile", CV_string},
    {RES_in_file, "if", 0, "in_file", "keminfile", CV_string},
    {RES_out_file, "of", 0, "out_file", "kemoutfile", CV_string},
    {RES_input, "in", 0, "input", "kemin", CV_string},
    {RES_inputg, "inp", 0, "input", "kemin", CV_string},
    {RES_output, "ou", 0, "output", "kemout", CV_string},
    {RES_file_path, "fp", 0, "file_path", "kemfile", CV_path},
    {RES_data_path, "dp", 0, "data_path", "kemdata", CV_path},
    {RES_con_path, "cp", 0, "con_path", "kemcon", CV_path},
    {RES_raw_path, "rp", 0, "raw_path", "kemraw", CV_path},
    {RES_grid_path, "gp", 0, "grid_path", "kemgrid", CV_path},
    {RES_watch_path, "wp", 0, "watch_path", "kemwatch", CV_path},
    {RES_image_path, "ip", 0, "image_path", "kemimage", CV_string},
    {RES_text_path, "tp", 0, "text_path", "kemtext", CV_path},
    {RES_model_path, "mp", 0, "model_path", "kemmpath", CV_path},
    {RES_sat_path, "sp", 0, "sat_path", "kemsat", CV_path},
    {RES_map_file, "mf", 0, "map_file", "kemmap", CV_string},
    {RES_bull_file, "bf", 0, "bull_file", "kembullfile", CV_string},
    {RES_log_file, "lf", 0, "log_file", "kemlog", CV_string},
    {RES_city_file, "cf", 0, "city_file", "kemcity", CV_string},
    {RES_file_param, "pf", 0, "file_param", "kemfileparam", CV_file_param},
    {RES_current, "cu", 0, "current", "kemcurrent", CV_current},
    {RES_hour, "ho", 0, "hour", "kemhour", CV_hour},
    {RES_num_hour, "nh", 0, "num_hour", "kemnumhour", CV_string},
    {RES_decode_hour, "dh", 0, "decode_hour", "kemdecode", CV_string},
    {RES_model, "mo", 0, "model", "kemmodel", CV_string},
    {RES_grid_type, "gt", 0, "grid_type", "kemgridtype", CV_int},
    {RES_grid_num, "gn", 0, "grid_num", "kemgridnum", CV_string},
    {RES_identifier, "id", 0, "identifier", "kemident", CV_string},
    {RES_product, "ph", 0, "product", "kemproduct", CV_string},
    {RES_forecast, "fc", 0, "forecast", "kemforecast", CV_string},
    {RES_state, "st", 0, "state", "kemstate", CV_string},
    {RES_plot_domain, "pd", 0, "plot_domain", "kemdomain", CV_domain},
    {RES_grid_domain, "gd", 0, "grid_domain", "kemgrddomain", CV_domain},
    {RES_region, "re", 0, "region", "kemregion", CV_region},
    {RES_time, "ft", 0, "time", "kemtime", CV_string},
    {RES_level, "le", 0, "level", "kemlevel", CV_string},
    {RES_variable, "va", 0, "variable", "kemvar", CV_string},
    {RES_stat_prior, "pr", 0, "stat_prior", "kemprior", CV_int},
    {RES_object_param, "oa", 0, "object_param", "kemobject", CV_string},
    {RES_con_interval, "in", 0, "con_interval", "kemconint", CV_float},
    {RES_plot_type, "pl", 0, "plot_type", "kemplot", CV_plot_type},
    {RES_draw, "dr", 0, "draw", "kemdraw", CV_draw},
    {RES_parameter, "pa", 0, "parameter", "kemparam", CV_string},
    {RES_table, "ta", 0, "table", "kemtable", CV_bool},
    {RES_plot_scale, "sc", 0, "plot_scale", "kemscale", CV_float},
    {RES_con_base, "cb", 0, "con_base", "kemconbase", CV_float},
    {RES_plot_format, "fm", 0, "plot_format", "kemformat", CV_string},
    {RES_plot_param, "pp", 0, "plot_param", "kempltparam", CV_string},
    {RES_label, "la", 0, "label", "kemlabel", CV_string},
    {RES_color_table, "ct", 0, "color_table", "kemclrtbl", CV_string},
    {RES_background, "bg", 0, "background", "kemback", CV_string},
    {RES_color_text, "cot", 0, "color_text", "kemclrtext", CV_string},
    {RES_color_data, "cod", 0, "color_data", "kemclrdata", CV_string},
    {RES_color_map, "com", 0, "color_map", "kemclrmap", CV_string},
    {RES_color_grid, "cogr", 0, "color_grid", "kemclrgrid", CV_string},
    {RES_color_line, "coln", 0, "color_line", "kemclrln", CV_string},
    {RES_color_cmap, "cocm", 0, "color_cmap", "kemclrcmap", CV_string},
    {RES_color_cont, "coco", 0, "color_cont", "kemclrcont", CV_string},
    {RES_color_label, "cola", 0, "color_label", "kemclrlab", CV_string},
    {RES_color_clabel, "cocl", 0, "color_clabel", "kemclrclab", CV_string},
    {RES_color_front, "cofr", 0, "color_front", "kemclrfront", CV_string},
    {RES_color_watch, "cowa", 0, "color_watch", "kemclrwatch", CV_string},
    {RES_color_fill, "cof", 0, "color_fill", "kemclrfill", CV_string},
    {RES_color_wind, "cowd", 0, "color_wind", "kemclrwind", CV_string},
    {RES_color_cloud, "cocd", 0, "color_cloud", "kemclrcld", CV_string},
    {RES_color_wx, "cowx", 0, "color_wx", "kemclrwx", CV_string},
    {RES_color_pop, "copp", 0, "color_pop", "kemclrpop", CV_string},
    {RES_color_sound, "cosd", 0, "color_sound", "kemclrsnd", CV_string},
    {RES_color_therm, "coth", 0, "color_therm", "kemclrtherm", CV_string},
    {RES_color_thrmtxt, "cott", 0, "color_thrmtxt", "kemclrthtxt", CV_string},
    {RES_color_hodo, "coh", 0, "color_hodo", "kemclrhodo", CV_string},
    {RES_color_hodtxt, "coht", 0, "color_hodtxt", "kemclrhdtxt", CV_string},
    {RES_font_list, "fl", 0, "font_list", "kemfontlist", CV_string},
    {RES_window_num, "wn", 0, "window_num", "kemwindownum", CV_int},
    {RES_device, "de", 0, "device", "kemdevice", CV_device},
    {RES_title, "ti", 0, "title", "kemtitle", CV_string},
    {RES_geometry, "ge", 0, "geometry", "kemgeometry", CV_string},
    {RES_icon, "ic", 0, "icon", "kemicon", CV_bool},
    {RES_command, nullptr, 10, "command", "kemcommand", CV_strings},
    {RES_commands, "cd", 0, "command", "kemcommand", CV_string},
    {RES_filename, nullptr, 1, "filename", "kemfilename", CV_strcpy},
    {RES_filenames, nullptr, 10, "filename", "kemfilename", CV_strings},
    {RES_values, nullptr, 10, "value", "kemvalue", CV_strings},
};

/* ------------------------------------------------------------------------
 * Help lines: syntax, text and continuation lines of every code
 * ---------------------------------------------------------------------- */

const char *const message_more[] = {
    "               none,print,error,warn,mess,out1,*out2,out3,out4,debug\n",
    nullptr,
};

const char *const plot_domain_more[] = {
    "             Output plot domain\n",
    "               region=predefined region:\n",
    "                  us,ne,at,se,mw,sp,nw,sw,etc\n",
    "               proj=projection, clat=central latitude, clon=central longitude,\n",
    "               nx,ny=number of gridpoints and dx,dy=grid spacing\n",
    nullptr,
};

const char *const grid_domain_more[] = {
    "             Grid domain\n",
    "               region=predefined region:\n",
    "                  us,ne,at,se,mw,sp,nw,sw,etc\n",
    "               proj=projection, clat=central latitude, clon=central longitude,\n",
    "               nx,ny=number of gridpoints and dx,dy=grid spacing\n",
    nullptr,
};

const char *const region_more[] = {
    "             Region to be used for plotting and gridding\n",
    "               region=predefined region:\n",
    "                  us,ne,at,se,mw,sp,nw,sw,etc\n",
    "               proj=projection, clat=central latitude, clon=central longitude,\n",
    "               nx,ny=number of gridpoints and dx,dy=grid spacing\n",
    "               us,ne,at,se,mw,sp,nw,sw,var\n",
    nullptr,
};

const char *const object_param_more[] = {
    "             Objective analysis parameters\n",
    nullptr,
};

struct Help {
    res_type code;
    const char *syntax;
    const char *text;        /* null: the syntax stands alone on its line */
    const char *const *more; /* continuation lines, null-terminated, or null */
};

constexpr Help helps[] = {
    {RES_help, "-h", "Print this help", nullptr},
    {RES_batch, "-ba", "Run program in batch mode", nullptr},
    {RES_message, "-me level", "Message level to be displayed:", message_more},
    {RES_ingestor, "-di name", "Ingestor type: kem,whole,split,ldm,none", nullptr},
    {RES_name_conv, "-nc type", "Naming convention file name", nullptr},
    {RES_in_files, "-if type[,...]", "Input data file type", nullptr},
    {RES_in_file, "-if type", "Input data file type", nullptr},
    {RES_out_file, "-of type", "Output file type", nullptr},
    {RES_input, "-in type", "Type of input", nullptr},
    {RES_inputg, "-in type", "Type of input", nullptr},
    {RES_output, "-ou type", "Type of output", nullptr},
    {RES_file_path, "-fp path", "File path", nullptr},
    {RES_data_path, "-dp path", "Raw data path", nullptr},
    {RES_con_path, "-cp path", "Converted data path", nullptr},
    {RES_raw_path, "-rp path", "Raw files path", nullptr},
    {RES_grid_path, "-gp path", "Gridded data path", nullptr},
    {RES_watch_path, "-wp path", "Watch file data path", nullptr},
    {RES_image_path, "-ip path", "Image file path", nullptr},
    {RES_text_path, "-tp path", "Text file path", nullptr},
    {RES_model_path, "-mp path", "Model file path", nullptr},
    {RES_sat_path, "-sp path", "Satellite file path", nullptr},
    {RES_map_file, "-mf file[,file]", "Map database files", nullptr},
    {RES_city_file, "-cf file", "City database file name", nullptr},
    {RES_bull_file, "-bf file", "Bulletin file name", nullptr},
    {RES_log_file, "-lf file", "Log file name", nullptr},
    {RES_file_param, "-pf param", "File parameters: use,calc,over,app", nullptr},
    {RES_current, "-cu [hour]", "Use current data file", nullptr},
    {RES_hour, "-ho hour", "Actual hour of the file", nullptr},
    {RES_num_hour, "-nh hour[,step]", "Number of hours to view", nullptr},
    {RES_decode_hour, "-dh hour", "Actual hour to decode", nullptr},
    {RES_model, "-mo model", "Specific model to use", nullptr},
    {RES_grid_type, "-gt number", "Specific grid type (number) to use", nullptr},
    {RES_grid_num, "-gn number", "Specific grid index in file to use", nullptr},
    {RES_product, "-ph header", "Specific product header", nullptr},
    {RES_forecast, "-fc type", "Specific forecast product", nullptr},
    {RES_state, "-st state", "Specific state to parse", nullptr},
    {RES_identifier, "-id ident", "Specific station identifier", nullptr},
    {RES_plot_domain, "-pd region or [proj],clat,clon[,nx,ny][,dx,dy]", nullptr, plot_domain_more},
    {RES_grid_domain, "-gd region or [proj],clat,clon[,nx,ny][,dx,dy]", nullptr, grid_domain_more},
    {RES_region, "-re region or [proj],clat,clon[,nx,ny][,dx,dy]", nullptr, region_more},
    {RES_time, "-ft time", "Forecast time to be plotted or contoured", nullptr},
    {RES_level, "-le level", "Vertical level to be plotted or contoured", nullptr},
    {RES_variable, "-va var", "Variable to be plotted or contoured", nullptr},
    {RES_stat_prior, "-pr prior", "Priority of stations used in the plot", nullptr},
    {RES_object_param, "-oa smooth[,radinf,pass,conv,min]", nullptr, object_param_more},
    {RES_con_interval, "-in intrvl", "Contour interval", nullptr},
    {RES_plot_type, "-pl type", "Plot type: cf,lcf,ln,dln,ndln,value,none", nullptr},
    {RES_draw, "-dr param[,...]", "Draw components: text,data,sum,map,none", nullptr},
    {RES_parameter, "-pa param[,...]", "Program parameters", nullptr},
    {RES_table, "-ta", "Prints a table", nullptr},
    {RES_plot_scale, "-sc scale", "Text and wind vector scale factor", nullptr},
    {RES_con_base, "-cb base", "Color fill contour/vector base value", nullptr},
    {RES_plot_format, "-fm format", "Numeric format", nullptr},
    {RES_plot_param, "-pp param", "Plot parameters", nullptr},
    {RES_label, "-la label", "Plot labels", nullptr},
    {RES_color_table, "-ct file", "Color table file name", nullptr},
    {RES_background, "-bg clr", "Background color", nullptr},
    {RES_color_text, "-cot clr", "Text color", nullptr},
    {RES_color_data, "-cod clr", "Data plotting color", nullptr},
    {RES_color_map, "-com clr", "line map color", nullptr},
    {RES_color_grid, "-cogr clr", "grid color", nullptr},
    {RES_color_line, "-coln clr", "Lat-lon line color", nullptr},
    {RES_color_cmap, "-cocm clr", "Fill map color", nullptr},
    {RES_color_cont, "-coco clr", "Line contour color", nullptr},
    {RES_color_label, "-cola clr", "Line label color", nullptr},
    {RES_color_clabel, "-cocl clr", "Fill label color", nullptr},
    {RES_color_fill, "-cof clr[,...]", "Fill contour colors", nullptr},
    {RES_color_front, "-cofr hclr,lclr,cclr,wclr,oclr,tclr", "Front colors", nullptr},
    {RES_color_watch, "-cowa sclr,tclr", "Watch box colors", nullptr},
    {RES_color_cloud, "-cocd clr", "Cloud cover symbol colors", nullptr},
    {RES_color_wind, "-cowd clr", "Wind barb colors", nullptr},
    {RES_color_wx, "-cowx clr", "Weather symbol colors", nullptr},
    {RES_color_pop, "-copp clr", "Probablilty of precipitation color", nullptr},
    {RES_color_sound, "-cosd tclr,tdclr", "Sounding colors", nullptr},
    {RES_color_therm, "-coth pclr,tclr,daclr,maclr,mrclr", "Thermodynamic diagram colors", nullptr},
    {RES_color_thrmtxt, "-cott pclr,tclr,daclr,maclr,mrclr", "Thermodynamic diagram text colors",
     nullptr},
    {RES_color_hodo, "-coh dclr,sclr,hclr", "Hodograph colors", nullptr},
    {RES_color_hodtxt, "-coht dclr,sclr,hclr", "Hodograph text colors", nullptr},
    {RES_font_list, "-fl list", "List of fonts to use", nullptr},
    {RES_window_num, "-wn num", "VAROviz window number", nullptr},
    {RES_device, "-de dev[,name]", "Output device: d,p,q,w,m", nullptr},
    {RES_title, "-ti title", "Window title", nullptr},
    {RES_geometry, "-ge wxh+x+y", "Window geometry", nullptr},
    {RES_icon, "-ic", "Open window iconified", nullptr},
    {RES_commands, "-cd cmd[;cmd]", "Commands to be run", nullptr},
    {RES_command, "command", "Commands to be run", nullptr},
    {RES_filename, "file", "Input file name", nullptr},
    {RES_filenames, "file [file...]", "Input file names", nullptr},
    {RES_values, "val1 val2 ...", "Input values:", nullptr},
};

/* ------------------------------------------------------------------------
 * Store helpers
 * ---------------------------------------------------------------------- */

/* An allocated copy of `text`; null for a null text or when memory runs out. */
char *copy_text(const char *text) {
    if (!text)
        return nullptr;
    size_t len = std::strlen(text);
    char *copy = static_cast<char *>(std::malloc(len + 1));
    if (copy)
        std::memcpy(copy, text, len + 1);
    return copy;
}

res_obj *find_record(const char *name) {
    if (!name)
        return nullptr;
    for (res_obj *rec = state.root.next; rec; rec = rec->next)
        if (rec->name && std::strcmp(rec->name, name) == 0)
            return rec;
    return nullptr;
}

/* Appends a new record for `name` at the tail; null when it cannot be made. */
res_obj *add_record(const char *name) {
    res_obj *rec = new (std::nothrow) res_obj{};
    if (!rec)
        return nullptr;
    rec->name = copy_text(name);
    res_obj *tail = &state.root;
    while (tail->next)
        tail = tail->next;
    tail->next = rec;
    return rec;
}

void set_record(res_obj *rec, int index, const char *data, DEF_convert cvt) {
    std::free(rec->data);
    rec->data = copy_text(data);
    rec->cvt = cvt;
    rec->index = index;
}

/* The old value, a newline and `data`, as one allocated text. */
char *join_lines(const char *old, const char *data) {
    size_t a = std::strlen(old);
    size_t b = std::strlen(data);
    char *joined = static_cast<char *>(std::malloc(a + b + 2));
    if (!joined)
        return nullptr;
    std::memcpy(joined, old, a);
    joined[a] = '\n';
    std::memcpy(joined + a + 1, data, b + 1);
    return joined;
}

/* ------------------------------------------------------------------------
 * Key-table lookups
 * ---------------------------------------------------------------------- */

const Option *option_of(res_type code) {
    for (const Option &option : options)
        if (option.code == code)
            return &option;
    return nullptr;
}

/* Entries with an empty resource name stand for unknown codes: every
   lookup skips them. */
bool usable(const RES_defobj &entry) {
    return entry.def && entry.def[0];
}

bool keyed_entry(const RES_defobj &entry) {
    return usable(entry) && entry.cmd && RES_slot_of(&entry) == 0;
}

int table_size(const RES_defobj *table) {
    int size = 0;
    while (table[size].def)
        ++size;
    return size;
}

enum class Match { key, name, leading };

bool entry_matches(const RES_defobj &entry, const char *name, Match how) {
    switch (how) {
    case Match::key:
        return stricmp(name, entry.cmd) == 0;
    case Match::name:
        return stricmp(name, entry.def) == 0;
    case Match::leading:
        return strnicmp(name, entry.def, static_cast<int>(std::strlen(name))) == 0;
    }
    return false;
}

/* Short keys are tried over the whole table first, then resource names,
   then leading parts, so that a listed key is never shadowed by the
   leading part of an earlier entry's name (-st is state, not stat_prior). */
int find_keyed(const RES_defobj *table, const char *name) {
    for (Match how : {Match::key, Match::name, Match::leading})
        for (int i = 0; table[i].def; ++i)
            if (keyed_entry(table[i]) && entry_matches(table[i], name, how))
                return i;
    return -1;
}

int find_slot(const RES_defobj *table, int slot) {
    for (int i = 0; table[i].def; ++i)
        if (usable(table[i]) && RES_slot_of(&table[i]) == slot)
            return i;
    return -1;
}

/* ------------------------------------------------------------------------
 * Command-line words
 * ---------------------------------------------------------------------- */

constexpr size_t name_max = 49; /* option names are cut to this many characters */

/* One keyed option as typed. */
struct Typed {
    char name[name_max + 1];
    const char *value; /* null when the option has none */
    bool from_next;    /* the value is the following argument word */
};

/* '-' and a letter; with `double_dash` also "--" and a letter. */
bool starts_option(const char *word, bool double_dash) {
    if (!word || word[0] != '-')
        return false;
    const unsigned char *rest = reinterpret_cast<const unsigned char *>(word + 1);
    if (std::isalpha(rest[0]))
        return true;
    return double_dash && rest[0] == '-' && std::isalpha(rest[1]);
}

/* Reads the option at argv[i]; answers the index of the last word used. */
int read_option(int argc, char **argv, int i, Typed &opt) {
    const char *word = argv[i] + 1;
    if (*word == '-')
        ++word;
    const char *equals = std::strchr(word, '=');
    size_t len = equals ? static_cast<size_t>(equals - word) : std::strlen(word);
    if (len > name_max)
        len = name_max;
    std::memcpy(opt.name, word, len);
    opt.name[len] = '\0';
    opt.value = equals ? equals + 1 : nullptr;
    opt.from_next = false;
    if (equals || i + 1 >= argc || !argv[i + 1] || starts_option(argv[i + 1], false))
        return i;
    opt.value = argv[i + 1];
    opt.from_next = true;
    return i + 1;
}

/* n, na, nam or name: the program-name option. */
bool names_program(const char *name, bool ignore_case) {
    size_t len = std::strlen(name);
    if (len == 0 || len > 4)
        return false;
    if (ignore_case)
        return strnicmp(name, "name", static_cast<int>(len)) == 0;
    return std::strncmp(name, "name", len) == 0;
}

/* default... or df...: the defaults search path option. */
bool names_search_path(const char *name, bool ignore_case) {
    if (ignore_case)
        return strnicmp(name, "default", 7) == 0 || strnicmp(name, "df", 2) == 0;
    return std::strncmp(name, "default", 7) == 0 || std::strncmp(name, "df", 2) == 0;
}

/* Before any defaults file is read: only the program name and the search
   path, single-dash and case-sensitive.  Other options are stepped over
   together with any value word they take. */
void first_walk(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        if (!starts_option(argv[i], false))
            continue;
        Typed opt;
        i = read_option(argc, argv, i, opt);
        if (!opt.value)
            continue;
        if (names_program(opt.name, false)) {
            RES_new(KEM_MISSING, "name", opt.value, CV_string);
            DEF_name(opt.value);
        } else if (names_search_path(opt.name, false)) {
            RES_new(KEM_MISSING, "default", opt.value, CV_string);
        }
    }
}

bool takes_no_word(DEF_convert cvt) {
    return cvt == CV_bool || cvt == CV_batch || cvt == CV_help;
}

/* Stores the keyed option at argv[i]; answers the index of the last word used. */
int enter_option(int argc, char **argv, int i, const RES_defobj *table) {
    Typed opt;
    int last = read_option(argc, argv, i, opt);
    if (names_program(opt.name, true) || names_search_path(opt.name, true))
        return last;
    int found = find_keyed(table, opt.name);
    if (found < 0) {
        RES_new(KEM_MISSING, opt.name, opt.value, CV_string);
        return last;
    }
    const RES_defobj &entry = table[found];
    if (opt.from_next && takes_no_word(entry.cvt)) {
        opt.value = nullptr; /* the word is examined again as the next argument */
        last = i;
    }
    RES_new(found, entry.def, opt.value, entry.cvt);
    RES_window_set(entry.def, opt.value);
    return last;
}

/*
 * Slots 1 to 9 take their own word; every other word goes to the slot-10
 * entry, appended, except the first positional word, which replaces what
 * the resource held from defaults files or the environment.  The tenth
 * word therefore appends like the others.
 */
void enter_positional(const char *word, int position, const RES_defobj *table) {
    int found = position <= 9 ? find_slot(table, position) : -1;
    if (found >= 0) {
        RES_new(found, table[found].def, word, table[found].cvt);
        return;
    }
    found = find_slot(table, 10);
    if (found < 0)
        return;
    if (position == 1)
        RES_new(found, table[found].def, word, table[found].cvt);
    else
        RES_append(found, table[found].def, word, table[found].cvt);
}

void second_walk(int argc, char **argv, const RES_defobj *table) {
    int position = 0;
    for (int i = 1; i < argc; ++i) {
        const char *word = argv[i];
        if (!word || std::strcmp(word, "--") == 0)
            continue;
        if (starts_option(word, true))
            i = enter_option(argc, argv, i, table);
        else
            enter_positional(word, ++position, table);
    }
}

/* ------------------------------------------------------------------------
 * Defaults files, search path and environment
 * ---------------------------------------------------------------------- */

constexpr const char *default_search_path = ".:/home/kem/etc:/usr/local/kem/etc";
constexpr int def_key_size = 50;    /* the defaults reader fills at most 49 ... */
constexpr int def_value_size = 200; /* ... and 199 characters */

/* One key line of a defaults file: every entry the key selects receives
   the value; an unclaimed key meant for this program becomes a free
   resource under its bare name. */
void take_defaults_line(const char *key, const char *value, const RES_defobj *table) {
    bool taken = false;
    for (int i = 0; table[i].def; ++i) {
        if (!usable(table[i]) || !DEF_cmp(table[i].def, key))
            continue;
        MESS_print(0x80000000u, "RESRC: %s=%s\n", key, value);
        RES_new(i, table[i].def, value, table[i].cvt);
        taken = true;
    }
    if (taken || !DEF_valid(key))
        return;
    char name[def_key_size] = "";
    DEF_parse_name(key, name);
    name[def_key_size - 1] = '\0';
    if (name[0])
        RES_new(KEM_MISSING, name, value, CV_string);
}

void read_defaults_file(const char *file, const RES_defobj *table) {
    if (DEF_open(file) == 0) {
        char key[def_key_size] = "";
        char value[def_value_size] = "";
        while (DEF_get(key, value) > 0) {
            key[def_key_size - 1] = '\0';
            value[def_value_size - 1] = '\0';
            take_defaults_line(key, value, table);
        }
    }
    DEF_close();
}

void take_path_element(const char *element, const RES_defobj *table) {
    if (element[0] == '+') {
        DEF_tag(element + 1);
    } else if (element[0] == '#') {
        RES_window_open(element + 1, table);
    } else {
        read_defaults_file(element, table);
    }
}

void read_search_path(const RES_defobj *table) {
    const char *path = RES_get("default");
    if (!path)
        path = default_search_path;
    int count = 0;
    char **items = nullptr;
    parse_string(path, ':', &count, &items);
    DEF_clr_tag();
    if (count == 0)
        read_defaults_file(nullptr, table); /* an empty path: ".kemdef" here */
    for (int i = 0; i < count; ++i)
        take_path_element(items[i], table);
    free_parsed_array(count, items); /* the tag list keeps its own copies */
}

void read_environment(const RES_defobj *table) {
    for (int i = 0; table[i].def; ++i) {
        if (!usable(table[i]))
            continue;
        char value[def_value_size] = "";
        if (DEF_env(table[i].def, table[i].env ? table[i].env : "", value) > 0) {
            value[def_value_size - 1] = '\0';
            RES_new(i, table[i].def, value, table[i].cvt);
        }
    }
}

/* Every record with a table entry is converted once, in store order. */
void convert_all(const RES_defobj *table) {
    int size = table_size(table);
    for (const res_obj *rec = state.root.next; rec; rec = rec->next) {
        if (rec->index == KEM_MISSING)
            continue;
        bool known = rec->index >= 0 && rec->index < size;
        const RES_defobj *entry = known ? &table[rec->index] : nullptr;
        if (rec->cvt == CV_strings && entry && entry->out) {
            int count = 0;
            parse_string(rec->data, '\n', &count, static_cast<char ***>(entry->out));
            if (entry->num)
                *entry->num = count;
        } else {
            RES_conv_data(rec->data, entry ? entry->out : nullptr, rec->cvt);
        }
    }
}

/* One key-table entry per listed code, keyed list first; codes beyond the
   table's room are refused. */
void build_table(const res_type *keyed, const res_type *positional) {
    const int room = RES_TABLE_SIZE - 1;
    int size = 0;
    int refused = 0;
    for (const res_type *list : {keyed, positional})
        for (int i = 0; list && list[i] != RES_null; ++i) {
            if (size < room)
                RES_enter(&state.table[size++], list[i]);
            else
                ++refused;
        }
    state.table[size] = RES_defobj{};
    if (refused)
        MESS_print(M_warn, "RES_init: only %d options can be listed, %d ignored\n", room, refused);
}

/* ------------------------------------------------------------------------
 * Value conversion
 * ---------------------------------------------------------------------- */

struct Word {
    const char *text;
    int code;
};

constexpr Word file_params[] = {
    {"use", 3}, {"over", 1}, {"calc", 1}, {"reuse", 3}, {"recalc", 1}, {"app", 2},
};

constexpr Word plot_types[] = {
    {"raw", 0},   {"none", 99},   {"value", 17}, {"gvalue", 17}, {"cf", 15},   {"lcf", 16},
    {"ln", 12},   {"dln", 13},    {"ndln", 14},  {"stuve", 61},  {"vect", 21}, {"barb", 22},
    {"strm", 23}, {"stream", 23}, {"an", 54},    {"number", 54}, {"pm", 55},   {"skewt", 62},
    {"ema", 63},  {"teph", 64},   {"rteph", 65}, {"hodo", 69},
};

constexpr Word components[] = {
    {"text_ul", 1}, {"text_uc", 2}, {"text_ur", 3}, {"text_ll", 4}, {"text_lc", 5}, {"text_lr", 6},
    {"data", 7},    {"map", 8},     {"grid", 9},    {"sum", 10},    {"bord", 11},
};

template <size_t N> int code_of(const Word (&words)[N], const char *text) {
    for (const Word &word : words)
        if (stricmp(text, word.text) == 0)
            return word.code;
    return -1;
}

/* Sets the flag word to the code of `value`; unknown words change nothing. */
template <size_t N> int set_flag_by_word(int flag, const Word (&words)[N], const char *value) {
    int code = code_of(words, value);
    if (code >= 0)
        FLAG_set(flag, code);
    return 1;
}

int convert_batch() {
    FLAG_set(19, 1);
    if (!MESS_check_set())
        MESS_set(0, 255);
    return 1;
}

int convert_bool(const char *value, int *out) {
    if (!value || stricmp(value, "true") == 0 || stricmp(value, "on") == 0 ||
        stricmp(value, "yes") == 0)
        *out = 1;
    else if (stricmp(value, "false") == 0 || stricmp(value, "off") == 0 ||
             stricmp(value, "no") == 0)
        *out = 0;
    return 1;
}

/* One item of a drawing-component list; an unsigned first item starts
   from nothing drawn. */
void draw_item(const char *item, bool first) {
    int on = 1;
    if (*item == '+')
        ++item;
    else if (*item == '-')
        on = 0, ++item;
    else if (first)
        FLAG_resetplot(0);
    if (stricmp(item, "none") == 0) {
        FLAG_setplot(12, 0);
    } else if (stricmp(item, "all") == 0) {
        FLAG_setplot(12, 1);
    } else if (stricmp(item, "text") == 0) {
        FLAG_setplot(0, on);
        FLAG_setplot(11, on);
    } else if (int index = code_of(components, item); index > 0) {
        FLAG_setplot(index, on);
    }
}

int convert_draw(const char *value) {
    int count = 0;
    char **items = nullptr;
    parse_string(value, ',', &count, &items);
    for (int i = 0; i < count; ++i)
        draw_item(items[i], i == 0);
    free_parsed_array(count, items);
    return 1;
}

/* The kinds that act on flags or message levels and need only a value. */
bool acts_without_destination(DEF_convert cvt) {
    return cvt == CV_mess || cvt == CV_hour || cvt == CV_file_param || cvt == CV_plot_type ||
           cvt == CV_draw;
}

int convert_without_destination(const char *value, DEF_convert cvt) {
    switch (cvt) {
    case CV_mess:
        MESS_set_str(value);
        return 1;
    case CV_file_param:
        return set_flag_by_word(15, file_params, value);
    case CV_plot_type:
        return set_flag_by_word(11, plot_types, value);
    case CV_draw:
        return convert_draw(value);
    default:
        /* CV_hour: the file date goes to the data-file naming module,
           which this library does not have yet; nothing to set. */
        return 1;
    }
}

/* Whole number at the start of `text` (a '+' sign allowed); false when
   there is none or it does not fit. */
template <class T> bool read_number(const char *text, int base, T &result) {
    if (text[0] == '+' && text[1] != '-')
        ++text;
    T number{};
    auto [end, error] = std::from_chars(text, text + std::strlen(text), number, base);
    if (error != std::errc() || end == text)
        return false;
    result = number;
    return true;
}

int convert_int(const char *value, int *out) {
    unsigned char first = static_cast<unsigned char>(value[0]);
    if (!std::isdigit(first) && first != '-' && first != '+')
        return 1;
    if (value[1] == 'x' || value[1] == 'X') {
        std::uint32_t bits = 0;
        if (first == '0' && read_number(value + 2, 16, bits))
            *out = static_cast<int>(bits);
        return 1;
    }
    read_number(value, 10, *out);
    return 1;
}

/* Short and long values are only read when the text starts with a digit. */
template <class T> int convert_digit_start(const char *value, T *out) {
    if (std::isdigit(static_cast<unsigned char>(value[0])))
        read_number(value, 10, *out);
    return 1;
}

/* Copied into the caller's buffer, taken to be a path buffer: a longer
   value is cut rather than written past it. */
int convert_strcpy(const char *value, char *out) {
    size_t len = std::strlen(value);
    if (len > KEM_PATH_MAX - 1)
        len = KEM_PATH_MAX - 1;
    std::memcpy(out, value, len);
    out[len] = '\0';
    return 1;
}

/* A new copy with room for the delimiter; "none" gives an empty copy, so
   that the program may release whatever it was given. */
int convert_path(const char *value, char **out) {
    size_t len = stricmp(value, "none") == 0 ? 0 : std::strlen(value);
    char *copy = static_cast<char *>(std::malloc(len + 2));
    if (!copy)
        return 1;
    std::memcpy(copy, value, len);
    copy[len] = '\0';
    if (len > 0)
        FILE_add_path_delim(copy);
    *out = copy;
    return 1;
}

int convert_device(const char *value, const char **out) {
    int count = 0;
    char **items = nullptr;
    parse_string(value, ',', &count, &items);
    FLAG_set(2, count > 0 ? RES_set_device(items[0]) : 1);
    if (count >= 2)
        *out = std::strchr(value, ',') + 1;
    free_parsed_array(count, items);
    return 1;
}

int convert_to(const char *value, void *out, DEF_convert cvt) {
    switch (cvt) {
    case CV_int:
        return convert_int(value, static_cast<int *>(out));
    case CV_short:
        return convert_digit_start(value, static_cast<std::int16_t *>(out));
    case CV_long:
        return convert_digit_start(value, static_cast<std::int64_t *>(out));
    case CV_float:
        *static_cast<float *>(out) = static_cast<float>(std::strtod(value, nullptr));
        return 1;
    case CV_color:
        *static_cast<std::int64_t *>(out) = std::strtoll(value, nullptr, 10);
        return 1;
    case CV_string:
        *static_cast<const char **>(out) = value;
        return 1;
    case CV_strcpy:
        return convert_strcpy(value, static_cast<char *>(out));
    case CV_path:
        return convert_path(value, static_cast<char **>(out));
    case CV_device:
        return convert_device(value, static_cast<const char **>(out));
    case CV_region:
    case CV_domain:
        /* Plot-domain decoding is not part of this library yet: the
           Domain destination is left as it is. */
        return 1;
    case CV_none:
    case CV_current:
    case CV_name:
    case CV_ingestor:
    case CV_strings:
        return 1; /* the program reads these values itself */
    default:
        return 0;
    }
}

/* ------------------------------------------------------------------------
 * Help output
 * ---------------------------------------------------------------------- */

const Help *help_of(res_type code) {
    for (const Help &help : helps)
        if (help.code == code)
            return &help;
    return nullptr;
}

void help_list(const res_type *codes) {
    for (int i = 0; codes && codes[i] != RES_null; ++i)
        RES_help_item(codes[i]);
}

} // namespace

/* ------------------------------------------------------------------------
 * The store
 * ---------------------------------------------------------------------- */

int RES_new(int index, const char *name, const char *data, DEF_convert cvt) {
    if (!name)
        return -1;
    res_obj *rec = find_record(name);
    if (!rec)
        rec = add_record(name);
    if (!rec)
        return -1;
    set_record(rec, index, data, cvt);
    return 0;
}

int RES_append(int index, const char *name, const char *data, DEF_convert cvt) {
    if (!name)
        return -1;
    res_obj *rec = find_record(name);
    if (!rec)
        return RES_new(index, name, data, cvt);
    if (!data)
        return 0;
    if (!rec->data) {
        rec->data = copy_text(data);
        return 0;
    }
    char *joined = join_lines(rec->data, data);
    if (joined) {
        std::free(rec->data);
        rec->data = joined;
    }
    return 0;
}

int RES_put(const char *name, const char *value) {
    return RES_new(KEM_MISSING, name, value, CV_string);
}

const char *RES_get(const char *name) {
    const res_obj *rec = find_record(name);
    if (!rec)
        return nullptr;
    return rec->data ? rec->data : "";
}

int RES_getval(const char *name, void *out, DEF_convert cvt) {
    const res_obj *rec = find_record(name);
    if (!rec || !out)
        return 0;
    return RES_conv_data(rec->data, out, cvt);
}

int RES_getvals(const char *name, int *paramc, char ***paramv) {
    int count = 0;
    char **items = nullptr;
    const res_obj *rec = find_record(name);
    if (rec && rec->data)
        parse_string(rec->data, rec->cvt == CV_strings ? '\n' : ',', &count, &items);
    if (paramc && paramv) {
        *paramc = count;
        *paramv = items;
    } else {
        free_parsed_array(count, items);
        count = 0;
    }
    return count;
}

int RES_list(void) {
    for (const res_obj *rec = state.root.next; rec; rec = rec->next) {
        const char *name = rec->name ? rec->name : "";
        if (rec->data)
            MESS_print(0x8, "%s: %s\n", name, rec->data);
        else
            MESS_print(0x8, "%s:\n", name);
    }
    return 0;
}

int RES_setCL(int argc, char **argv) {
    state.clargc = argv ? argc : 0;
    state.clargv = argv;
    return 1;
}

const char *RES_get_prog(void) {
    if (state.clargc < 1 || !state.clargv)
        return nullptr;
    return state.clargv[0];
}

/*
 * The caller's buffer is taken to be a path buffer (KEM_PATH_MAX bytes):
 * the name is cut there rather than written past it.  Without a program
 * path the name is "KEM", as when memory runs out.
 */
char *RES_get_progname(char *prog) {
    const char *path = RES_get_prog();
    const char *name = "KEM";
    if (path) {
        const char *slash = std::strrchr(path, '/');
        name = slash ? slash + 1 : path;
    }
    if (!prog) {
        char *copy = copy_text(name);
        return copy ? copy : const_cast<char *>("KEM");
    }
    size_t len = std::strlen(name);
    if (len > KEM_PATH_MAX - 1)
        len = KEM_PATH_MAX - 1;
    std::memcpy(prog, name, len);
    prog[len] = '\0';
    return prog;
}

int RES_fill_obj(RES_defobj *obj, const char *def, const char *env, const char *cmd,
                 DEF_convert cvt, void *out, int *num) {
    if (!obj)
        return 0;
    obj->def = def;
    obj->env = env;
    obj->cmd = cmd;
    obj->cvt = cvt;
    obj->out = out;
    obj->num = num;
    return 1;
}

/* ------------------------------------------------------------------------
 * The key table
 * ---------------------------------------------------------------------- */

int RES_enter(RES_defobj *obj, res_type code) {
    if (!obj)
        return 1;
    const Option *option = option_of(code);
    if (!option) {
        std::printf("%d\n", static_cast<int>(code));
        RES_fill_obj(obj, "", "", "", CV_none, nullptr, nullptr);
        return 1;
    }
    const char *cmd = option->key ? option->key : RES_SLOT(option->slot);
    RES_fill_obj(obj, option->def, option->env, cmd, option->cvt, nullptr, nullptr);
    return 1;
}

int RES_slot_of(const RES_defobj *obj) {
    if (!obj)
        return 0;
    std::uintptr_t value = reinterpret_cast<std::uintptr_t>(obj->cmd);
    return value >= 1 && value <= 10 ? static_cast<int>(value) : 0;
}

/* ------------------------------------------------------------------------
 * Start-up and conversion
 * ---------------------------------------------------------------------- */

int RES_init(int argc, char **argv, const res_type *keyed, const res_type *positional) {
    FLAG_reset(KEM_MISSING);
    build_table(keyed, positional);
    const char *prog = argc > 0 && argv ? argv[0] : nullptr;
    RES_decode(prog, "Kem", argc, argv, state.table);
    if (const char *zone = std::getenv("kemtz"))
        DATE_set_TZ(zone);
    return 1;
}

/* The sources in order, each later one replacing what an earlier stored. */
int RES_decode(const char *, const char *, int argc, char **argv, RES_defobj *table) {
    if (!table)
        table = state.no_table;
    if (!argv || argc < 0)
        argc = 0;
    RES_setCL(argc, argv);
    DEF_prog();
    if (const char *path = std::getenv("kemdefault"))
        RES_new(KEM_MISSING, "default", path, CV_string);
    first_walk(argc, argv);
    read_search_path(table);
    read_environment(table);
    second_walk(argc, argv, table);
    RES_window_close();
    convert_all(table);
    return 0;
}

int RES_set_device(const char *dev) {
    switch (dev ? std::tolower(static_cast<unsigned char>(dev[0])) : 0) {
    case 'p':
        return 4;
    case 'h':
    case 'q':
        return 5;
    case 'm':
        return 3;
    case 'w':
        return 6;
    default:
        return 1;
    }
}

int RES_conv_data(const char *value, void *out, DEF_convert cvt) {
    if (cvt == CV_batch)
        return convert_batch();
    if (cvt == CV_help) {
        FLAG_set(20, 1);
        return 1;
    }
    if (cvt == CV_bool && out)
        return convert_bool(value, static_cast<int *>(out));
    if (!value)
        return 0;
    if (acts_without_destination(cvt))
        return convert_without_destination(value, cvt);
    if (!out)
        return 0;
    return convert_to(value, out, cvt);
}

/* ------------------------------------------------------------------------
 * Help output
 * ---------------------------------------------------------------------- */

int RES_help_print(const char *prog, const res_type *keyed, const res_type *positional) {
    const char *name = prog ? prog : "";
    const char *version = KEM_version();
    MESS_print(M_print, "%s syntax (version:%s)\n", name, version ? version : "");
    MESS_print(M_print, "   %s [options...]\n", name);
    MESS_print(M_print, "Keyed options...\n");
    MESS_print(M_print, " %-10s  Resource/defaults file name\n", "-df file");
    MESS_print(M_print, " %-10s  Program name\n", "-na name");
    help_list(keyed);
    MESS_print(M_print, "Positional options...\n");
    help_list(positional);
    return 1;
}

int RES_help_item(res_type code) {
    const Help *help = help_of(code);
    if (!help) {
        std::printf("%d\n", static_cast<int>(code));
        return 1;
    }
    if (help->text)
        MESS_print(M_print, " %-10s  %s\n", help->syntax, help->text);
    else
        MESS_print(M_print, " %-10s\n", help->syntax);
    for (const char *const *line = help->more; line && *line; ++line)
        MESS_print(M_print, "%s", *line);
    return 1;
}
