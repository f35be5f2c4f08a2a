/*
 * res_help.cpp - the option vocabulary: key-table entries and help (RES_).
 *
 * Every resource code a program may list has a command-line key or a
 * positional slot, a resource name, an environment variable, a conversion
 * kind and a help text.  RES_enter makes a key-table entry from a code;
 * the help printers print the help lines of a program's codes.  The file
 * owns only constant tables.
 *
 * Unknown codes are not errors: their number is printed on its own line
 * and, for RES_enter, the entry is left empty so that lookups skip it.
 */
#include "kem.h"

#include <cstdint>
#include <cstdio>

namespace {

/* Continuation lines of the help, printed under a row's syntax. */
constexpr const char *levels[] = {
    "none,print,error,warn,mess,out1,*out2,out3,out4,debug",
};

/* The plot and grid domains show the first four lines, the region all five. */
constexpr const char *domain_lines[] = {
    "region=predefined region:",
    "   us,ne,at,se,mw,sp,nw,sw,etc",
    "proj=projection, clat=central latitude, clon=central longitude,",
    "nx,ny=number of gridpoints and dx,dy=grid spacing",
    "us,ne,at,se,mw,sp,nw,sw,var",
};

struct Option {
    res_type code;
    const char *key; /* short command-line key, or null for a positional entry */
    int slot;        /* positional slot 1 to 10 when `key` is null */
    const char *def; /* resource name */
    const char *env; /* environment variable */
    DEF_convert cvt;
    /* Help: what follows "-key" in the syntax; a positional entry's whole
       syntax, as is a text starting with '-' (the generic input is shown
       under the key of the plain input). */
    const char *arg;
    const char *text;
    bool below = false;                /* the text stands on a line of its own */
    const char *const *more = nullptr; /* continuation lines, `more_count` of them */
    int more_count = 0;
};

/* Two codes may share a resource (input, in_file, command, filename) and
   two may share a key ("in", "if"): lookups take the first listed. */
constexpr Option options[] = {
    {RES_help, "h", 0, "help", "kemhelp", CV_help, "", "Print this help"},
    {RES_batch, "ba", 0, "batch", "kembatch", CV_batch, "", "Run program in batch mode"},
    {RES_message, "me", 0, "message", "kemmess", CV_mess, "level",
     "Message level to be displayed:", false, levels, 1},
    {RES_ingestor, "di", 0, "ingestor", "kemingestor", CV_ingestor, "name",
     "Ingestor type: kem,whole,split,ldm,none"},
    {RES_name_conv, "nc", 0, "name_conv", "kemnameconv", CV_name, "type",
     "Naming convention file name"},
    {RES_in_files, "if", 0, "in_file", "keminfile", CV_string, "type[,...]",
     "Input data file type"},
    {RES_in_file, "if", 0, "in_file", "keminfile", CV_string, "type", "Input data file type"},
    {RES_out_file, "of", 0, "out_file", "kemoutfile", CV_string, "type", "Output file type"},
    {RES_input, "in", 0, "input", "kemin", CV_string, "type", "Type of input"},
    {RES_inputg, "inp", 0, "input", "kemin", CV_string, "-in type", "Type of input"},
    {RES_output, "ou", 0, "output", "kemout", CV_string, "type", "Type of output"},
    {RES_file_path, "fp", 0, "file_path", "kemfile", CV_path, "path", "File path"},
    {RES_data_path, "dp", 0, "data_path", "kemdata", CV_path, "path", "Raw data path"},
    {RES_con_path, "cp", 0, "con_path", "kemcon", CV_path, "path", "Converted data path"},
    {RES_raw_path, "rp", 0, "raw_path", "kemraw", CV_path, "path", "Raw files path"},
    {RES_grid_path, "gp", 0, "grid_path", "kemgrid", CV_path, "path", "Gridded data path"},
    {RES_watch_path, "wp", 0, "watch_path", "kemwatch", CV_path, "path", "Watch file data path"},
    {RES_image_path, "ip", 0, "image_path", "kemimage", CV_string, "path", "Image file path"},
    {RES_text_path, "tp", 0, "text_path", "kemtext", CV_path, "path", "Text file path"},
    {RES_model_path, "mp", 0, "model_path", "kemmpath", CV_path, "path", "Model file path"},
    {RES_sat_path, "sp", 0, "sat_path", "kemsat", CV_path, "path", "Satellite file path"},
    {RES_map_file, "mf", 0, "map_file", "kemmap", CV_string, "file[,file]", "Map database files"},
    {RES_bull_file, "bf", 0, "bull_file", "kembullfile", CV_string, "file", "Bulletin file name"},
    {RES_log_file, "lf", 0, "log_file", "kemlog", CV_string, "file", "Log file name"},
    {RES_city_file, "cf", 0, "city_file", "kemcity", CV_string, "file", "City database file name"},
    {RES_file_param, "pf", 0, "file_param", "kemfileparam", CV_file_param, "param",
     "File parameters: use,calc,over,app"},
    {RES_current, "cu", 0, "current", "kemcurrent", CV_current, "[hour]", "Use current data file"},
    {RES_hour, "ho", 0, "hour", "kemhour", CV_hour, "hour", "Actual hour of the file"},
    {RES_num_hour, "nh", 0, "num_hour", "kemnumhour", CV_string, "hour[,step]",
     "Number of hours to view"},
    {RES_decode_hour, "dh", 0, "decode_hour", "kemdecode", CV_string, "hour",
     "Actual hour to decode"},
    {RES_model, "mo", 0, "model", "kemmodel", CV_string, "model", "Specific model to use"},
    {RES_grid_type, "gt", 0, "grid_type", "kemgridtype", CV_int, "number",
     "Specific grid type (number) to use"},
    {RES_grid_num, "gn", 0, "grid_num", "kemgridnum", CV_string, "number",
     "Specific grid index in file to use"},
    {RES_identifier, "id", 0, "identifier", "kemident", CV_string, "ident",
     "Specific station identifier"},
    {RES_product, "ph", 0, "product", "kemproduct", CV_string, "header", "Specific product header"},
    {RES_forecast, "fc", 0, "forecast", "kemforecast", CV_string, "type",
     "Specific forecast product"},
    {RES_state, "st", 0, "state", "kemstate", CV_string, "state", "Specific state to parse"},
    {RES_plot_domain, "pd", 0, "plot_domain", "kemdomain", CV_domain,
     "region or [proj],clat,clon[,nx,ny][,dx,dy]", "Output plot domain", true, domain_lines, 4},
    {RES_grid_domain, "gd", 0, "grid_domain", "kemgrddomain", CV_domain,
     "region or [proj],clat,clon[,nx,ny][,dx,dy]", "Grid domain", true, domain_lines, 4},
    {RES_region, "re", 0, "region", "kemregion", CV_region,
     "region or [proj],clat,clon[,nx,ny][,dx,dy]", "Region to be used for plotting and gridding",
     true, domain_lines, 5},
    {RES_time, "ft", 0, "time", "kemtime", CV_string, "time",
     "Forecast time to be plotted or contoured"},
    {RES_level, "le", 0, "level", "kemlevel", CV_string, "level",
     "Vertical level to be plotted or contoured"},
    {RES_variable, "va", 0, "variable", "kemvar", CV_string, "var",
     "Variable to be plotted or contoured"},
    {RES_stat_prior, "pr", 0, "stat_prior", "kemprior", CV_int, "prior",
     "Priority of stations used in the plot"},
    {RES_object_param, "oa", 0, "object_param", "kemobject", CV_string,
     "smooth[,radinf,pass,conv,min]", "Objective analysis parameters", true},
    {RES_con_interval, "in", 0, "con_interval", "kemconint", CV_float, "intrvl",
     "Contour interval"},
    {RES_plot_type, "pl", 0, "plot_type", "kemplot", CV_plot_type, "type",
     "Plot type: cf,lcf,ln,dln,ndln,value,none"},
    {RES_draw, "dr", 0, "draw", "kemdraw", CV_draw, "param[,...]",
     "Draw components: text,data,sum,map,none"},
    {RES_parameter, "pa", 0, "parameter", "kemparam", CV_string, "param[,...]",
     "Program parameters"},
    {RES_table, "ta", 0, "table", "kemtable", CV_bool, "", "Prints a table"},
    {RES_plot_scale, "sc", 0, "plot_scale", "kemscale", CV_float, "scale",
     "Text and wind vector scale factor"},
    {RES_con_base, "cb", 0, "con_base", "kemconbase", CV_float, "base",
     "Color fill contour/vector base value"},
    {RES_plot_format, "fm", 0, "plot_format", "kemformat", CV_string, "format", "Numeric format"},
    {RES_plot_param, "pp", 0, "plot_param", "kempltparam", CV_string, "param", "Plot parameters"},
    {RES_label, "la", 0, "label", "kemlabel", CV_string, "label", "Plot labels"},
    {RES_color_table, "ct", 0, "color_table", "kemclrtbl", CV_string, "file",
     "Color table file name"},
    {RES_background, "bg", 0, "background", "kemback", CV_string, "clr", "Background color"},
    {RES_color_text, "cot", 0, "color_text", "kemclrtext", CV_string, "clr", "Text color"},
    {RES_color_data, "cod", 0, "color_data", "kemclrdata", CV_string, "clr", "Data plotting color"},
    {RES_color_map, "com", 0, "color_map", "kemclrmap", CV_string, "clr", "line map color"},
    {RES_color_grid, "cogr", 0, "color_grid", "kemclrgrid", CV_string, "clr", "grid color"},
    {RES_color_line, "coln", 0, "color_line", "kemclrln", CV_string, "clr", "Lat-lon line color"},
    {RES_color_cmap, "cocm", 0, "color_cmap", "kemclrcmap", CV_string, "clr", "Fill map color"},
    {RES_color_cont, "coco", 0, "color_cont", "kemclrcont", CV_string, "clr", "Line contour color"},
    {RES_color_label, "cola", 0, "color_label", "kemclrlab", CV_string, "clr", "Line label color"},
    {RES_color_clabel, "cocl", 0, "color_clabel", "kemclrclab", CV_string, "clr",
     "Fill label color"},
    {RES_color_front, "cofr", 0, "color_front", "kemclrfront", CV_string,
     "hclr,lclr,cclr,wclr,oclr,tclr", "Front colors"},
    {RES_color_watch, "cowa", 0, "color_watch", "kemclrwatch", CV_string, "sclr,tclr",
     "Watch box colors"},
    {RES_color_fill, "cof", 0, "color_fill", "kemclrfill", CV_string, "clr[,...]",
     "Fill contour colors"},
    {RES_color_wind, "cowd", 0, "color_wind", "kemclrwind", CV_string, "clr", "Wind barb colors"},
    {RES_color_cloud, "cocd", 0, "color_cloud", "kemclrcld", CV_string, "clr",
     "Cloud cover symbol colors"},
    {RES_color_wx, "cowx", 0, "color_wx", "kemclrwx", CV_string, "clr", "Weather symbol colors"},
    {RES_color_pop, "copp", 0, "color_pop", "kemclrpop", CV_string, "clr",
     "Probablilty of precipitation color"},
    {RES_color_sound, "cosd", 0, "color_sound", "kemclrsnd", CV_string, "tclr,tdclr",
     "Sounding colors"},
    {RES_color_therm, "coth", 0, "color_therm", "kemclrtherm", CV_string,
     "pclr,tclr,daclr,maclr,mrclr", "Thermodynamic diagram colors"},
    {RES_color_thrmtxt, "cott", 0, "color_thrmtxt", "kemclrthtxt", CV_string,
     "pclr,tclr,daclr,maclr,mrclr", "Thermodynamic diagram text colors"},
    {RES_color_hodo, "coh", 0, "color_hodo", "kemclrhodo", CV_string, "dclr,sclr,hclr",
     "Hodograph colors"},
    {RES_color_hodtxt, "coht", 0, "color_hodtxt", "kemclrhdtxt", CV_string, "dclr,sclr,hclr",
     "Hodograph text colors"},
    {RES_font_list, "fl", 0, "font_list", "kemfontlist", CV_string, "list", "List of fonts to use"},
    {RES_window_num, "wn", 0, "window_num", "kemwindownum", CV_int, "num", "VAROviz window number"},
    {RES_device, "de", 0, "device", "kemdevice", CV_device, "dev[,name]",
     "Output device: d,p,q,w,m"},
    {RES_title, "ti", 0, "title", "kemtitle", CV_string, "title", "Window title"},
    {RES_geometry, "ge", 0, "geometry", "kemgeometry", CV_string, "wxh+x+y", "Window geometry"},
    {RES_icon, "ic", 0, "icon", "kemicon", CV_bool, "", "Open window iconified"},
    {RES_command, nullptr, 10, "command", "kemcommand", CV_strings, "command",
     "Commands to be run"},
    {RES_commands, "cd", 0, "command", "kemcommand", CV_string, "cmd[;cmd]", "Commands to be run"},
    {RES_filename, nullptr, 1, "filename", "kemfilename", CV_strcpy, "file", "Input file name"},
    {RES_filenames, nullptr, 10, "filename", "kemfilename", CV_strings, "file [file...]",
     "Input file names"},
    {RES_values, nullptr, 10, "value", "kemvalue", CV_strings, "val1 val2 ...", "Input values:"},
};

const Option *option_of(res_type code) {
    for (const Option &option : options)
        if (option.code == code)
            return &option;
    return nullptr;
}

/* The syntax shown in the help, "-key arg"; the rows' texts fit `size`. */
const char *syntax_of(const Option &option, char *out, size_t size) {
    if (!option.key || option.arg[0] == '-')
        return option.arg;
    std::snprintf(out, size, "-%s%s%s", option.key, option.arg[0] ? " " : "", option.arg);
    return out;
}

void help_list(const res_type *codes) {
    for (int i = 0; codes && codes[i] != RES_null; ++i)
        RES_help_item(codes[i]);
}

} // namespace

/* ------------------------------------------------------------------------
 * Key-table entries
 * ---------------------------------------------------------------------- */

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
    const Option *option = option_of(code);
    if (!option) {
        std::printf("%d\n", static_cast<int>(code));
        return 1;
    }
    char buffer[80];
    const char *syntax = syntax_of(*option, buffer, sizeof buffer);
    if (option->below) {
        MESS_print(M_print, " %-10s\n", syntax);
        MESS_print(M_print, "             %s\n", option->text);
    } else {
        MESS_print(M_print, " %-10s  %s\n", syntax, option->text);
    }
    for (int i = 0; i < option->more_count; ++i)
        MESS_print(M_print, "               %s\n", option->more[i]);
    return 1;
}
