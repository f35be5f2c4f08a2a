/*
 * fuzz_domain.cpp - domain strings and region files.
 *
 * Input: a first line with the domain string, then the region file
 * ("kem.reg" in the working directory) that names in it are looked up
 * in.  The string is decoded, searched for in the file, and the file is
 * read as the region menu, whose first region is then decoded as a
 * program without a region resource does.  The domain string is the
 * user's word and names no pipe; the region file may try to, by any of
 * its texts, and must be refused.
 */
#include "sandbox.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view input(reinterpret_cast<const char *>(data), size);
    auto [head, body] = fuzz::first_line(input);
    std::string text = fuzz::tame(std::string(head), true);
    text = text.c_str();
    fuzz::write_file("kem.reg", body);

    Domain domain;
    DOM_init(&domain);
    DOM_decode(text.c_str(), &domain);
    DOM_aspect(&domain);
    char domstr[128];
    DOM_search_file("kem.reg", text.c_str(), domstr);
    DOM_read_menu("kem.reg");
    DOM_get_region(&domain, 4);
    fuzz::reset();
    return 0;
}
