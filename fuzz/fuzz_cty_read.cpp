/*
 * fuzz_cty_read.cpp - the station database reader over arbitrary bytes.
 *
 * Input: a first line of selection items (comma-separated), then the
 * database.  Every record read is matched against the items, and the
 * first item is looked up as an identifier.
 */
#include "sandbox.h"

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
    CTY_get("sao.cty", items[0].c_str(), &city);
    fuzz::reset();
    return 0;
}
