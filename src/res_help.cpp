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
 * Key-table lookups
 * ---------------------------------------------------------------------- */

const Option *option_of(res_type code) {
    for (const Option &option : options)
        if (option.code == code)
            return &option;
    return nullptr;
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
