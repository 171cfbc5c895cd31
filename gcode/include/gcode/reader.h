// Streams a program of any size line by line: only the current line and a
// fixed read buffer are held, never the whole file.
#pragma once

#include <cstdint>
#include <istream>
#include <string>

#include "gcode/block.h"

namespace gcode {

class reader {
public:
    explicit reader(std::istream& in);
    // The next line as a block (line numbers from 1); false at the end. A last
    // line without a line feed counts as a line.
    bool next(block& out);
    uint64_t lines() const { return line_; }
    uint64_t bytes() const { return bytes_; }

private:
    bool fill();

    std::istream& in_;
    std::string buf_;
    size_t pos_ = 0, end_ = 0;
    std::string line_text_;
    uint64_t line_ = 0, bytes_ = 0;
    bool eof_ = false;
};

}  // namespace gcode
