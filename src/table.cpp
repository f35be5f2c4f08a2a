/*
 * table.cpp - keyed hash table (TAB_).
 *
 * A TAB_table holds records of one size under one to four keys each: one
 * bucket array per key, the first entry of a bucket in the bucket's own
 * slot and later ones chained behind it in order of entry, and every
 * record once, shared by its entries, on a list in order of entry.  The
 * table owns its key copies, chain entries and records; TAB_clear frees
 * them all and leaves an empty table that finds nothing and can be
 * created again.
 *
 * State: none; the tables belong to their callers.  Table operations
 * answer -1 or null when memory runs out or the table is empty, and print
 * nothing.
 */
#include "kem.h"

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>

/* ------------------------------------------------------------------------
 * Creating and clearing
 * ---------------------------------------------------------------------- */

namespace {

void reset(TAB_table &tab) {
    tab.tab_size = 0;
    tab.data_size = 0;
    tab.data_ptr = tab.head_ptr = tab.last_ptr = nullptr;
    tab.num_entry = 0;
    tab.numkey = 0;
    for (TAB_entry *&buckets : tab.table)
        buckets = nullptr;
}

void free_buckets(TAB_table &tab, int key) {
    TAB_entry *buckets = tab.table[key];
    if (buckets == nullptr)
        return;
    for (int b = 0; b < tab.tab_size; ++b) {
        std::free(buckets[b].key);
        for (TAB_entry *e = buckets[b].link; e != nullptr;) {
            TAB_entry *next = e->link;
            std::free(e->key);
            std::free(e);
            e = next;
        }
    }
    std::free(buckets);
}

} // namespace

int TAB_key(const char *key, int tsize) {
    if (key == nullptr || tsize < 1)
        return 0;
    uint64_t h = 0;
    for (const char *c = key; *c != '\0'; ++c)
        h = (h * 257 + static_cast<uint64_t>(static_cast<int64_t>(static_cast<signed char>(*c)))) %
            35177;
    return static_cast<int>(h % static_cast<uint64_t>(tsize));
}

int TAB_init(TAB_table *tab) {
    if (tab != nullptr)
        reset(*tab);
    return 0;
}

int TAB_create(TAB_table *tab, int tsize, int dsize, int nkey) {
    if (tab == nullptr)
        return -1;
    reset(*tab);
    if (dsize < 0 || nkey < 1 || nkey > TAB_MAX_KEYS)
        return -1;
    tsize = std::max(tsize, 1);
    tab->tab_size = tsize;
    tab->data_size = dsize;
    tab->numkey = nkey;
    for (int k = 0; k < nkey; ++k) {
        tab->table[k] =
            static_cast<TAB_entry *>(std::calloc(static_cast<size_t>(tsize), sizeof(TAB_entry)));
        if (tab->table[k] == nullptr) {
            TAB_clear(tab);
            return -1;
        }
    }
    return 0;
}

int TAB_clear(TAB_table *tab) {
    if (tab == nullptr)
        return 0;
    for (TAB_entry *e = tab->head_ptr; e != nullptr; e = e->next)
        std::free(e->data);
    for (int k = 0; k < TAB_MAX_KEYS; ++k)
        free_buckets(*tab, k);
    reset(*tab);
    return 0;
}

/* ------------------------------------------------------------------------
 * Entering records
 * ---------------------------------------------------------------------- */

namespace {

char *copy_text(const char *text) {
    size_t len = std::strlen(text) + 1;
    auto *copy = static_cast<char *>(std::malloc(len));
    if (copy != nullptr)
        std::memcpy(copy, text, len);
    return copy;
}

/* What one record needs before it is linked in: everything allocated up
   front, so that a failure leaves the table as it was. */
struct Pending {
    void *data = nullptr;
    char *keys[TAB_MAX_KEYS] = {};
    TAB_entry *nodes[TAB_MAX_KEYS] = {}; /* null where the bucket slot is free */

    void release() {
        std::free(data);
        for (int k = 0; k < TAB_MAX_KEYS; ++k) {
            std::free(keys[k]);
            std::free(nodes[k]);
        }
    }
};

bool prepare(const TAB_table &tab, const void *data, const char *const *keys, Pending &p) {
    p.data = std::malloc(static_cast<size_t>(std::max(tab.data_size, 1)));
    if (p.data == nullptr)
        return false;
    if (tab.data_size > 0)
        std::memcpy(p.data, data, static_cast<size_t>(tab.data_size));
    for (int k = 0; k < tab.numkey; ++k) {
        p.keys[k] = copy_text(keys[k]);
        if (p.keys[k] == nullptr)
            return false;
        if (tab.table[k][TAB_key(keys[k], tab.tab_size)].key == nullptr)
            continue;
        p.nodes[k] = static_cast<TAB_entry *>(std::calloc(1, sizeof(TAB_entry)));
        if (p.nodes[k] == nullptr)
            return false;
    }
    return true;
}

/* Places the record's entry under key number k: in the bucket's slot
   when it is free, else at the end of the bucket's chain. */
TAB_entry *link_entry(TAB_table &tab, int k, Pending &p) {
    TAB_entry *slot = &tab.table[k][TAB_key(p.keys[k], tab.tab_size)];
    TAB_entry *e = p.nodes[k] != nullptr ? p.nodes[k] : slot;
    if (e != slot) {
        TAB_entry *end = slot;
        while (end->link != nullptr)
            end = end->link;
        end->link = e;
    }
    e->key = p.keys[k];
    e->data = p.data;
    e->link = nullptr;
    e->next = nullptr;
    return e;
}

void append_record(TAB_table &tab, TAB_entry *first) {
    if (tab.last_ptr != nullptr)
        tab.last_ptr->next = first;
    else
        tab.head_ptr = first;
    tab.last_ptr = first;
    tab.num_entry++;
}

} // namespace

int TAB_enter(TAB_table *tab, const void *data, ...) {
    if (tab == nullptr || tab->tab_size < 1 || (data == nullptr && tab->data_size > 0))
        return -1;
    const char *keys[TAB_MAX_KEYS] = {};
    va_list args;
    va_start(args, data);
    for (int k = 0; k < tab->numkey; ++k)
        keys[k] = va_arg(args, const char *);
    va_end(args);
    for (int k = 0; k < tab->numkey; ++k)
        if (keys[k] == nullptr)
            return -1;
    Pending p;
    if (!prepare(*tab, data, keys, p)) {
        p.release();
        return -1;
    }
    TAB_entry *first = link_entry(*tab, 0, p);
    for (int k = 1; k < tab->numkey; ++k)
        link_entry(*tab, k, p);
    append_record(*tab, first);
    return 0;
}

/* ------------------------------------------------------------------------
 * Searching and walking
 * ---------------------------------------------------------------------- */

namespace {

bool searchable(const TAB_table *tab, int keynum, const char *key) {
    return tab != nullptr && key != nullptr && tab->tab_size > 0 && keynum >= 1 &&
           keynum <= tab->numkey && tab->table[keynum - 1] != nullptr;
}

} // namespace

void *TAB_search(const TAB_table *tab, int keynum, const char *key) {
    void *found = nullptr;
    return TAB_searches(tab, keynum, key, &found, 1) == 1 ? found : nullptr;
}

int TAB_searches(const TAB_table *tab, int keynum, const char *key, void **ptrs, int max) {
    if (!searchable(tab, keynum, key) || ptrs == nullptr)
        return 0;
    int n = 0;
    const TAB_entry *e = &tab->table[keynum - 1][TAB_key(key, tab->tab_size)];
    for (; e != nullptr && n < max; e = e->link)
        if (e->key != nullptr && std::strcmp(e->key, key) == 0)
            ptrs[n++] = e->data;
    return n;
}

int TAB_first(TAB_table *tab) {
    if (tab != nullptr)
        tab->data_ptr = tab->head_ptr;
    return 0;
}

void *TAB_next(TAB_table *tab) {
    if (tab == nullptr || tab->data_ptr == nullptr)
        return nullptr;
    TAB_entry *e = tab->data_ptr;
    tab->data_ptr = e->next;
    return e->data;
}
