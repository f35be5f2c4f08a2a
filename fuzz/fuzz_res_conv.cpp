/*
 * fuzz_res_conv.cpp - every conversion of a resource value.
 *
 * Input: the first byte chooses the conversion kind, the rest is the
 * value.  The destination is larger than any kind writes; what lies
 * past the kind's own size must be untouched.
 */
#include "sandbox.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0)
        return 0;
    auto cvt = static_cast<DEF_convert>(data[0] % (CV_help + 1));
    std::string value =
        fuzz::tame(std::string(reinterpret_cast<const char *>(data + 1), size - 1), false);
    alignas(8) char out[KEM_PATH_MAX + 64];
    std::memset(out, 0x5a, sizeof out);
    char *path = nullptr; /* a path is a new copy that the caller releases */
    RES_conv_data(value.c_str(), cvt == CV_path ? static_cast<void *>(&path) : out, cvt);
    std::free(path);
    for (size_t i = KEM_PATH_MAX; i < sizeof out; ++i)
        if (out[i] != 0x5a)
            std::abort();
    RES_conv_data(value.c_str(), nullptr, cvt);
    fuzz::reset();
    return 0;
}
