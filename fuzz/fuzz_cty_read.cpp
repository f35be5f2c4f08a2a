/*
 * fuzz_cty_read.cpp - the station database reader over arbitrary bytes.
 *
 * Input: a first line of selection items (comma-separated), then the
 * database.  Every record read is matched against the items, and the
 * first item is looked up as an identifier.  The records must be the ones
 * read from the same words one to a line (every run of white space made
 * one newline): a line of ten words may be decoded at once, a line of one
 * word never is, and the scan itself does not tell white space apart.
 */
#include "sandbox.h"

namespace {

bool is_space(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

std::string one_word_a_line(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (!is_space(text[i]))
            out += text[i];
        else if (i == 0 || !is_space(text[i - 1]))
            out += '\n';
    }
    return out;
}

std::vector<CTY_data> read_all(const std::string &path, std::vector<int> &counts) {
    std::vector<CTY_data> out;
    int fd = CTY_open(path.c_str(), 0, 0);
    CTY_data city;
    int n;
    while (fd >= 0 && (n = CTY_read(fd, &city)) > 0) {
        out.push_back(city);
        counts.push_back(n);
    }
    CTY_close(fd);
    return out;
}

bool same(const std::vector<CTY_data> &a, const std::vector<CTY_data> &b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](const CTY_data &x, const CTY_data &y) {
               return std::strcmp(x.name, y.name) == 0 && std::strcmp(x.state, y.state) == 0 &&
                      std::strcmp(x.region, y.region) == 0 && std::strcmp(x.id, y.id) == 0 &&
                      x.prior == y.prior && x.mos == y.mos && x.ua == y.ua &&
                      std::memcmp(&x.lat, &y.lat, sizeof x.lat) == 0 &&
                      std::memcmp(&x.lon, &y.lon, sizeof x.lon) == 0 &&
                      std::memcmp(&x.el, &y.el, sizeof x.el) == 0 && x.wmo == y.wmo &&
                      x.num == y.num;
           });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view input(reinterpret_cast<const char *>(data), size);
    auto [head, body] = fuzz::first_line(input);
    std::vector<std::string> items = fuzz::split(head, ',', 16);
    std::vector<char *> argv = fuzz::pointers(items);
    int count = static_cast<int>(items.size());
    std::string path = fuzz::write_file("sao.cty", body);

    int fd = CTY_open(path.c_str(), 0, 0);
    CTY_data city;
    while (fd >= 0 && CTY_read(fd, &city) > 0) {
        CTY_data_cmp(count, argv.data(), &city);
        CTY_ids_cmp(count, argv.data(), city.id);
    }
    CTY_close(fd);
    std::vector<int> counts, apart_counts;
    std::vector<CTY_data> whole = read_all(path, counts);
    std::vector<CTY_data> apart =
        read_all(fuzz::write_file("apart.cty", one_word_a_line(body)), apart_counts);
    if (counts != apart_counts || !same(whole, apart))
        std::abort();
    CTY_get("sao.cty", items[0].c_str(), &city);
    fuzz::reset();
    return 0;
}
