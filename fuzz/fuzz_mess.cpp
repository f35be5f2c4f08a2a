/*
 * fuzz_mess.cpp - message settings as a user writes them.
 *
 * Input: the settings text given to MESS_set_str; a message of each kind
 * is printed afterwards with the levels it left.
 */
#include "sandbox.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text = fuzz::tame(std::string(reinterpret_cast<const char *>(data), size), false);
    MESS_set_str(text.c_str());
    for (M_type kind : {M_print, M_error, M_warn, M_mess, M_out1, M_debug})
        MESS_print(kind, "%s\n", "x");
    MESS_check_set();
    fuzz::reset();
    return 0;
}
