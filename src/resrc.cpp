/*
 * resrc.cpp - the resource store and the program name (RES_).
 *
 * A program's whole configuration is a set of named text values kept in
 * one process-wide store: a singly linked list behind a head record that
 * holds no resource itself, appended in order of first insertion and never
 * reordered.  The store owns every name and value it holds.  This file also
 * owns the remembered command line, from which the program name is taken.
 * Start-up (res_init.cpp), value conversion (res_conv.cpp) and the option
 * vocabulary with its help (res_help.cpp) are the module's other files.
 *
 * Failure is reported by result codes: -1 when a record cannot be
 * allocated, 0 for "nothing found / nothing to convert".
 */
#include "resrc.h"
#include "kem.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

/* The value that RES_append last grew, with its length and room, so that
   appending many words costs time in proportion to their total length. */
struct Growing {
    const char *data = nullptr;
    size_t length = 0;
    size_t room = 0;
};

struct State {
    res_obj root{};        /* head of the store; holds no resource */
    res_obj *tail = &root; /* last record, where the next one goes */
    Growing growing;       /* see above */
    int clargc = 0;        /* remembered command line (referenced, not copied) */
    char **clargv = nullptr;
};

State state;

res_obj *find_record(const char *name) {
    if (!name)
        return nullptr;
    for (res_obj *rec = state.root.next; rec; rec = rec->next)
        if (rec->name && std::strcmp(rec->name, name) == 0)
            return rec;
    return nullptr;
}

/* Appends a new record for `name` at the tail; null when it cannot be made. */
res_obj *add_record(const char *name) {
    res_obj *rec = new (std::nothrow) res_obj{};
    if (!rec)
        return nullptr;
    rec->name = create_string(name);
    state.tail->next = rec;
    state.tail = rec;
    return rec;
}

void set_record(res_obj *rec, int index, const char *data, DEF_convert cvt) {
    if (rec->data == state.growing.data)
        state.growing = Growing{};
    std::free(rec->data);
    rec->data = create_string(data);
    rec->cvt = cvt;
    rec->index = index;
}

/* Appends `delim` and `word` to the record's value in place, the room
   doubling as it fills; false when memory runs out (the value is kept). */
bool grow_value(res_obj *rec, char delim, const char *word) {
    Growing &g = state.growing;
    if (rec->data != g.data) {
        g.length = std::strlen(rec->data);
        g.room = g.length + 1;
    }
    size_t add = std::strlen(word);
    size_t need = g.length + 1 + add + 1;
    if (need > g.room) {
        size_t room = std::max(need, 2 * g.room);
        char *bigger = static_cast<char *>(std::realloc(rec->data, room));
        if (!bigger)
            return false;
        rec->data = bigger;
        g.room = room;
    }
    rec->data[g.length] = delim;
    std::memcpy(rec->data + g.length + 1, word, add + 1);
    g.length += 1 + add;
    g.data = rec->data;
    return true;
}

} // namespace

const res_obj *res_first_record() {
    return state.root.next;
}

void res_clear() {
    for (res_obj *rec = state.root.next; rec;) {
        res_obj *next = rec->next;
        std::free(rec->name);
        std::free(rec->data);
        delete rec;
        rec = next;
    }
    state.root.next = nullptr;
    state.tail = &state.root;
    state.growing = Growing{};
}

int RES_new(int index, const char *name, const char *data, DEF_convert cvt) {
    if (!name)
        return -1;
    res_obj *rec = find_record(name);
    if (!rec)
        rec = add_record(name);
    if (!rec)
        return -1;
    set_record(rec, index, data, cvt);
    return 0;
}

int RES_append(int index, const char *name, const char *data, DEF_convert cvt) {
    if (!name)
        return -1;
    res_obj *rec = find_record(name);
    if (!rec)
        return RES_new(index, name, data, cvt);
    if (!data)
        return 0;
    if (!rec->data) {
        rec->data = create_string(data);
        return 0;
    }
    grow_value(rec, '\n', data);
    return 0;
}

int RES_put(const char *name, const char *value) {
    return RES_new(KEM_MISSING, name, value, CV_string);
}

const char *RES_get(const char *name) {
    const res_obj *rec = find_record(name);
    if (!rec)
        return nullptr;
    return rec->data ? rec->data : "";
}

int RES_getval(const char *name, void *out, DEF_convert cvt) {
    const res_obj *rec = find_record(name);
    if (!rec || !out)
        return 0;
    return RES_conv_data(rec->data, out, cvt);
}

int RES_getvals(const char *name, int *paramc, char ***paramv) {
    int count = 0;
    char **items = nullptr;
    const res_obj *rec = find_record(name);
    if (rec && rec->data)
        parse_string(rec->data, rec->cvt == CV_strings ? '\n' : ',', &count, &items);
    if (paramc && paramv) {
        *paramc = count;
        *paramv = items;
    } else {
        free_parsed_array(count, items);
        count = 0;
    }
    return count;
}

int RES_list(void) {
    for (const res_obj *rec = state.root.next; rec; rec = rec->next) {
        const char *name = rec->name ? rec->name : "";
        if (rec->data)
            MESS_print(M_print_d, "%s: %s\n", name, rec->data);
        else
            MESS_print(M_print_d, "%s:\n", name);
    }
    return 0;
}

int RES_setCL(int argc, char **argv) {
    state.clargc = argv ? argc : 0;
    state.clargv = argv;
    return 1;
}

const char *RES_get_prog(void) {
    if (state.clargc < 1 || !state.clargv)
        return nullptr;
    return state.clargv[0];
}

/*
 * The caller's buffer is taken to be a path buffer (KEM_PATH_MAX bytes):
 * the name is cut there rather than written past it.  Without a program
 * path the name is "KEM", as when memory runs out.
 */
char *RES_get_progname(char *prog) {
    const char *path = RES_get_prog();
    const char *name = "KEM";
    if (path) {
        const char *slash = std::strrchr(path, '/');
        name = slash ? slash + 1 : path;
    }
    if (!prog) {
        char *copy = create_string(name);
        return copy ? copy : const_cast<char *>("KEM");
    }
    strntcpy(prog, name, KEM_PATH_MAX - 1);
    return prog;
}
