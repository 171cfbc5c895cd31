// A small JSON reader for checking pelkctl's --json output: it accepts only
// well-formed JSON and gives access to the values.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

struct jvalue {
    enum kind_t { null_v, bool_v, number_v, string_v, array_v, object_v } kind = null_v;
    bool b = false;
    double num = 0;
    std::string str;
    std::vector<jvalue> items;
    std::map<std::string, jvalue> members;

    // The member key; a null value when there is none or this is no object.
    const jvalue& operator[](const std::string& key) const;
    const jvalue& operator[](size_t i) const;
    bool has(const std::string& key) const { return members.count(key) != 0; }
};

// False (and why set) unless text is exactly one JSON value, blanks around it allowed.
bool parse_json(const std::string& text, jvalue& out, std::string* why = nullptr);
