// Line by line through a fixed buffer; a line longer than MAX_LINE_BYTES is
// reported and its rest skipped, so memory stays bounded whatever the input.
#include "gcode/reader.h"

namespace gcode {

namespace {
constexpr size_t BUFFER = 64 * 1024;
}

reader::reader(std::istream& in) : in_(in) { buf_.resize(BUFFER); }

bool reader::fill()
{
    if (eof_) return false;
    in_.read(buf_.data(), std::streamsize(buf_.size()));
    end_ = size_t(in_.gcount());
    pos_ = 0;
    if (end_ == 0) eof_ = true;
    return end_ > 0;
}

bool reader::next(block& out)
{
    line_text_.clear();
    bool any = false, overflow = false;
    for (;;) {
        if (pos_ == end_ && !fill()) break;
        any = true;
        const char* start = buf_.data() + pos_;
        const void* nl = std::char_traits<char>::find(start, end_ - pos_, '\n');
        size_t take = nl ? size_t(static_cast<const char*>(nl) - start) : end_ - pos_;
        if (!overflow) {
            if (line_text_.size() + take > MAX_LINE_BYTES) {
                overflow = true;
                line_text_.append(start, MAX_LINE_BYTES - line_text_.size());
            } else {
                line_text_.append(start, take);
            }
        }
        bytes_ += take + (nl ? 1 : 0);
        pos_ += take + (nl ? 1 : 0);
        if (nl) break;
    }
    if (!any) return false;
    ++line_;
    out.line = line_;
    if (overflow) {
        out.clear();
        out.problem = issue::too_long;
        out.why = "line longer than " + std::to_string(MAX_LINE_BYTES) + " bytes";
        return true;
    }
    // A byte-order mark some editors put at the start of a file is not part of the program.
    if (line_ == 1 && line_text_.compare(0, 3, "\xEF\xBB\xBF") == 0) line_text_.erase(0, 3);
    parse_block(line_text_, out);
    return true;
}

}  // namespace gcode
