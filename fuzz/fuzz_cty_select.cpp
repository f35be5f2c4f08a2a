/*
 * fuzz_cty_select.cpp - station selection items against station records.
 *
 * Input: selection items, one a line, up to a NUL byte; after it the
 * fields of a record, blank-separated, copied bounded into a CTY_data.
 */
#include "sandbox.h"

namespace {

void copy_field(char *out, size_t size, const std::string &text) {
    size_t n = std::min(text.size(), size - 1);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

float number(const std::string &text) {
    return std::strtof(text.c_str(), nullptr);
}

int whole(const std::string &text) {
    long long n = std::strtoll(text.c_str(), nullptr, 10);
    return static_cast<int>(std::clamp<long long>(n, INT32_MIN, INT32_MAX));
}

CTY_data record_of(std::string_view text) {
    std::vector<std::string> f = fuzz::split(text, ' ', 12);
    f.resize(12);
    CTY_data city;
    CTY_data_init(&city);
    copy_field(city.name, sizeof city.name, f[0]);
    copy_field(city.state, sizeof city.state, f[1]);
    copy_field(city.region, sizeof city.region, f[2]);
    copy_field(city.id, sizeof city.id, f[3]);
    city.prior = whole(f[4]);
    city.mos = f[5].empty() ? ' ' : f[5][0];
    city.ua = f[6].empty() ? ' ' : f[6][0];
    city.lat = number(f[7]);
    city.lon = number(f[8]);
    city.el = number(f[9]);
    city.wmo = whole(f[10]);
    city.num = whole(f[11]);
    return city;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view input(reinterpret_cast<const char *>(data), size);
    size_t nul = input.find('\0');
    std::string_view head = input.substr(0, nul);
    std::string_view body = nul == input.npos ? "" : input.substr(nul + 1);
    std::vector<std::string> items = fuzz::split(head, '\n', 16);
    std::vector<char *> argv = fuzz::pointers(items);
    int count = static_cast<int>(items.size());
    CTY_data city = record_of(body);

    CTY_data_cmp(count, argv.data(), &city);
    CTY_ids_cmp(count, argv.data(), city.id);
    for (const std::string &item : items)
        CTY_id_cmp(item.c_str(), city.id);
    fuzz::reset();
    return 0;
}
