// One line of a program split into words, and what can be wrong with it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace gcode {

struct word {
    char letter = 0;    // upper case
    double value = 0;
    std::string text;   // the number as written, spaces removed ("28.2"), for messages
};

// Why a line, or one of its words, cannot be run.
enum class issue : uint8_t {
    none,
    not_text,     // bytes that no text file holds (a binary file)
    too_long,     // longer than a line may be; the rest of it was skipped
    malformed,    // a letter without a number, two motion words, a number out of range
    unsupported,  // read, but not part of the dialect this machine runs
    geometry,     // an arc that cannot be drawn through its points
    travel,       // a move beyond the machine's travel
};
const char* issue_name(issue i);

struct block {
    uint64_t line = 0;          // 1-based line of the file
    std::vector<word> words;    // in the order written, N words left out
    std::string dollar;         // a "$" line of the board's own, whole and trimmed
    bool block_delete = false;  // the line starts with '/'
    bool percent = false;       // a '%' tape mark
    issue problem = issue::none;
    std::string bad_word;       // the word at fault, as written
    std::string why;            // what is wrong, for people

    bool blank() const { return words.empty() && dollar.empty() && problem == issue::none; }
    void clear();
};

// Longest line the reader takes whole.
constexpr size_t MAX_LINE_BYTES = 64 * 1024;
// Largest magnitude a number may have (after inch conversion this is about 25 km).
constexpr double MAX_NUMBER = 1e6;

// Splits one line (without its line feed) into out, which is cleared first.
// out.line is left as it is.
void parse_block(std::string_view text, block& out);

}  // namespace gcode
