/*
 * fuzz_def_read.cpp - defaults files over arbitrary bytes.
 *
 * Input: the file.  Every key delivered is matched against resource
 * names, checked as a key of this program and parsed for its bare name,
 * and every value is looked up as a resource name in the environment.
 */
#include "sandbox.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::write_file("kem.cfg", std::string_view(reinterpret_cast<const char *>(data), size));
    DEF_name(size % 2 ? "kemcity" : "+test");
    DEF_tag("north");
    if (DEF_open(fuzz::scratch().c_str()) == 0) {
        char key[50];
        char value[200];
        char name[30];
        while (DEF_get(key, value) == 1) {
            for (const char *res : {"output", "input", "value", "x"})
                DEF_cmp(res, key);
            DEF_valid(key);
            DEF_parse_name(key, name);
            DEF_env(value, value, value);
        }
    }
    fuzz::reset();
    return 0;
}
