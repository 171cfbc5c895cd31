// The interpreter's result text: read from the board after a command line or
// during a job, and taken apart. The board writes it as one JSON object
// ("err", "line", "alarm", "stop", "settings", "ok", ...); a text that is not
// an object is kept as it came.
#pragma once

#include <string>
#include <vector>

#include "session.h"

struct result_member {
    std::string key;
    std::string json;     // the value as written
    bool is_string = false;
    std::string text;     // the decoded value when it is a string
    bool is_number = false;
    double number = 0;
};

struct board_result {
    std::string raw;
    bool object = false;  // raw is one JSON object (an empty text is none)
    std::vector<result_member> members;

    const result_member* find(const std::string& key) const;
    bool has(const std::string& key) const { return find(key) != nullptr; }
    // The member as text: a string decoded, anything else as written; empty when missing.
    std::string text(const std::string& key) const;
    // A number member, or one written as a string of digits; false otherwise.
    bool number(const std::string& key, double* out) const;
    // Later members replace earlier ones of the same key, in their first place,
    // the way the board itself gathers results until they are read.
    void merge(const board_result& later);
    void erase(const std::string& key);
    // The members as one JSON object, or raw when the text was not one.
    std::string json() const;
};

// Splits raw into out; false (out.object false) when raw is not one JSON object.
bool parse_board_result(const std::string& raw, board_result& out);

// Reads the pending result text (which the board then clears) into out; an exit code.
int read_board_result(session& s, board_result& out);
