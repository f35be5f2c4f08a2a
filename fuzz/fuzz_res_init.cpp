/*
 * fuzz_res_init.cpp - start-up on arbitrary argument vectors.
 *
 * Input: argument words separated by NUL bytes (the first is the program
 * path), then, after a word "\x01", a defaults file that start-up finds
 * in the working directory.  The options are those of kemcity plus a
 * wide set of others, so that every conversion kind is met.
 */
#include "sandbox.h"

namespace {

const res_type keyed[] = {RES_help,       RES_batch,       RES_message,   RES_file_path, RES_input,
                          RES_output,     RES_parameter,   RES_city_file, RES_region,    RES_age,
                          RES_level,      RES_plot_domain, RES_time,      RES_title,     RES_unit,
                          RES_color_data, RES_save_param,  RES_read_conf, RES_null};
const res_type positional[] = {RES_values, RES_null};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view input(reinterpret_cast<const char *>(data), size);
    size_t split_at = input.find(std::string_view("\0\x01", 2));
    std::string_view words = input.substr(0, split_at);
    std::string_view file = split_at == input.npos ? "" : input.substr(split_at + 2);
    fuzz::write_file("kem.cfg", fuzz::tame(std::string(file), false, true));

    std::vector<std::string> args = fuzz::split(words, '\0', 256);
    for (std::string &arg : args)
        arg = fuzz::tame(arg, true);
    std::vector<char *> argv = fuzz::pointers(args);
    RES_init(static_cast<int>(args.size()), argv.data(), keyed, positional);
    int count = 0;
    char **items = nullptr;
    RES_getvals("value", &count, &items);
    free_parsed_array(count, items);
    fuzz::reset();
    return 0;
}
