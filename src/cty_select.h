/* cty_select.h - selection items as the selection reads them, shared by
   cty_item.cpp and cty_tool.cpp; not part of the library's interface. */
#ifndef KEM_CTY_SELECT_H
#define KEM_CTY_SELECT_H

#include "cty_field.h"

#include <string>
#include <vector>

namespace cty_select {

/* How a key tests a record: a field's tests, and for "ST:" and "CN:" the
   state or region in the next piece. */
enum class Test : unsigned char {
    name = static_cast<unsigned char>(FieldTest::name),
    state = static_cast<unsigned char>(FieldTest::state),
    region = static_cast<unsigned char>(FieldTest::region),
    id = static_cast<unsigned char>(FieldTest::id),
    number = static_cast<unsigned char>(FieldTest::number),
    number_text = static_cast<unsigned char>(FieldTest::number_text),
    range = static_cast<unsigned char>(FieldTest::range),
    state_next,
    region_next,
};

struct Key {
    std::string key; /* what an item or piece begins with, in any case */
    Test test;
    char op; /* the operator that ends the key: '=', '<', '>' or ':' */
    const StationField *field;
};

/* The keys of the station's fields, in the order a pass applies them. */
const std::vector<Key> &all_keys();

/* Does the text begin with the key, in any case? */
bool has_key(const char *text, const std::string &key);

/* A test that reads a number of the record. */
bool reads_numbers(Test t);

/* One piece of an item, its key found and its numbers read. */
struct Piece {
    std::string text;
    int key = -1;            /* row of all_keys(), or -1 */
    bool after_ok = false;   /* the number after the key could be read */
    bool after_rest = false; /* ... and characters follow it unread */
    double after = 0;        /* ... as "%d" or "%f", by the key's field */
    bool whole_ok = false;   /* the whole piece read as a real (RA< lon, km) */
    bool whole_rest = false; /* ... and characters follow it unread */
    float whole = 0;

    const Key *key_row() const { return key >= 0 ? &all_keys()[key] : nullptr; }
    /* The text after the key. */
    const char *arg() const;
};

/* The pieces of an item, cut at ':'. */
std::vector<Piece> read_pieces(const char *item);

/* Why an item cannot be read as it stands, or "" when it can. */
std::string item_problem(const std::vector<Piece> &pieces);

} // namespace cty_select

#endif /* KEM_CTY_SELECT_H */
