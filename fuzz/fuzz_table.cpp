/*
 * fuzz_table.cpp - the station location table and its searches.
 *
 * Input: a first line of words: the table kind (1 to 3), the identifier
 * kind (0 to 2), a plot domain, then texts to search for; after it the
 * station database.  The table is filled from the database for the
 * domain, searched by every text, by position and by walking it, and
 * freed.
 */
#include "sandbox.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view input(reinterpret_cast<const char *>(data), size);
    auto [head, body] = fuzz::first_line(input);
    std::vector<std::string> words = fuzz::split(fuzz::tame(std::string(head), false), ' ', 16);
    words.resize(std::max<size_t>(words.size(), 3));
    fuzz::write_file("sao.cty", body);

    int kind = words[0].empty() ? 1 : 1 + (words[0][0] & 3) % 3;
    CTY_set_id_type(words[1].empty() ? 0 : (words[1][0] & 3) % 3);
    CTY_data_size(kind == 1 ? 0 : 8);
    Domain domain;
    DOM_init(&domain);
    DOM_decode(words[2].c_str(), &domain);
    CTY_store("sao.cty", kind, &domain, 9);

    stat_FULL_data found;
    for (size_t i = 3; i < words.size(); ++i) {
        CTY_search(words[i].c_str(), &found);
        CTY_get_data(words[i].c_str());
        float lat = std::strtof(words[i].c_str(), nullptr);
        CTY_locate near;
        CTY_search_loc(lat, -lat, &near);
    }
    for (void *rec = CTY_next_data(0); rec; rec = CTY_next_data(1)) {
    }
    CTY_clear();
    CTY_set_id_type(0);
    CTY_data_size(0);
    fuzz::reset();
    return 0;
}
