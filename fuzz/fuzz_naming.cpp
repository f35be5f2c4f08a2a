/*
 * fuzz_naming.cpp - file-name templates, typed names and date labels.
 *
 * Input: lines.  The first is a name convention ("period template header
 * template"), the second a typed file name to read back into a date, the
 * third a label or sequence text to decode, the fourth a label format,
 * the fifth an hour setting; the last byte of the fifth line's text picks
 * a file type.  Names go into 160-byte buffers and labels into 80-byte
 * ones, the sizes the interface promises are enough.
 */
#include "sandbox.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view input(reinterpret_cast<const char *>(data), size);
    std::vector<std::string> lines = fuzz::split(input, '\n', 5);
    lines.resize(5);
    for (std::string &line : lines)
        line = line.c_str(); /* none is a name to open: no taming needed */

    FILE_set_name_conv(lines[0].c_str());
    FILE_set_type(lines[4].empty() ? 0 : lines[4].back() & 3);
    FILE_conv_hour(lines[4].c_str());
    char name[160];
    FILE_set_file(lines[1].c_str(), name);
    Date date;
    FILE_get_date(&date);
    FILE_set_date(&date, name);
    FILE_set_date_off(&date, -3600, name);
    FILE_hdr_set_date(&date, name);
    FILE_extract_extra_info(name);

    char label[80];
    DATE_decode_label(lines[2].c_str(), &date);
    DATE_decode_seq(lines[2].c_str(), &date);
    DATE_decode_month(lines[2].c_str());
    DATE_format_label(label, lines[3].c_str(), 12, lines[2].c_str(), &date);
    DATE_make_label(&date, label);
    DATE_make_label_for_time_mod(-1, lines[3].c_str(), &date, label);
    DATE_make_seq(&date, label);

    FILE_set_name_conv(nullptr);
    FILE_reset_time();
    FILE_set_type(0);
    fuzz::reset();
    return 0;
}
