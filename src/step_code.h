/* step_code.h - step codes of fixed hours and minutes; not part of the library's interface. */
#ifndef KEM_STEP_CODE_H
#define KEM_STEP_CODE_H

#include "kem.h"

/* A negative hour or minute code -(offset * 100 + step) stands for the
   value rounded down to a multiple of the step, plus the offset. */
struct StepCode {
    int step = 0, offset = 0;
    int apply(int value) const { return value / step * step + offset; }
};

/* The step and offset of `code`; false when it is not a step code (not
   negative, or KEM_MISSING) and when its step is 0: such a code is
   ignored, with a warning when `warn` is set. */
inline bool read_step_code(int code, StepCode &out, bool warn) {
    if (code >= 0 || code == KEM_MISSING)
        return false;
    if ((-code) % 100 == 0) {
        if (warn)
            MESS_print(M_warn, "Ignoring step code %d: its step is 0\n", code);
        return false;
    }
    out = StepCode{(-code) % 100, (-code) / 100};
    return true;
}

#endif /* KEM_STEP_CODE_H */
