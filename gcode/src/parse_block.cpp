// One line into words. Comments go, the words stay in the order written;
// what no controller of this kind reads (parameters, expressions, O-words)
// is named as unsupported rather than misread.
#include <cctype>
#include <charconv>
#include <cmath>

#include "gcode/block.h"

namespace gcode {

namespace {

bool binary_byte(unsigned char c)
{
    if (c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') return false;
    return c < 0x20 || c == 0x7F;
}

void set_problem(block& b, issue i, std::string word, std::string why)
{
    if (b.problem != issue::none) return;  // the first problem of a line is the one told
    b.problem = i;
    b.bad_word = std::move(word);
    b.why = std::move(why);
}

// The word starting at letter position i up to the next letter, for messages.
std::string word_text(std::string_view s, size_t i)
{
    size_t end = i + 1;
    int depth = 0;
    while (end < s.size()) {
        char c = s[end];
        if (c == '[') ++depth;
        else if (c == ']' && depth > 0) --depth;
        else if (depth == 0 && (std::isalpha(static_cast<unsigned char>(c)) || c == '(' || c == ';')) break;
        ++end;
    }
    std::string out;
    for (char c : s.substr(i, end - i))
        if (c != ' ' && c != '\t') out += char(std::toupper(static_cast<unsigned char>(c)));
    return out.size() > 40 ? out.substr(0, 40) : out;
}

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

}  // namespace

const char* issue_name(issue i)
{
    switch (i) {
    case issue::none: return "none";
    case issue::not_text: return "not text";
    case issue::too_long: return "too long";
    case issue::malformed: return "malformed";
    case issue::unsupported: return "unsupported";
    case issue::geometry: return "geometry";
    case issue::travel: return "travel";
    }
    return "?";
}

void block::clear()
{
    words.clear();
    dollar.clear();
    block_delete = percent = false;
    problem = issue::none;
    bad_word.clear();
    why.clear();
}

void parse_block(std::string_view s, block& out)
{
    out.clear();
    for (unsigned char c : s)
        if (binary_byte(c)) {
            char hex[8];
            static const char digits[] = "0123456789ABCDEF";
            hex[0] = '0', hex[1] = 'x', hex[2] = digits[c >> 4], hex[3] = digits[c & 15], hex[4] = 0;
            return set_problem(out, issue::not_text, hex, std::string("byte ") + hex + " is not text");
        }

    size_t i = 0;
    while (i < s.size() && blank(s[i])) ++i;
    if (i < s.size() && s[i] == '%') {
        out.percent = true;
        return;
    }
    if (i < s.size() && s[i] == '$') {
        size_t end = s.size();
        while (end > i && blank(s[end - 1])) --end;
        out.dollar.assign(s.substr(i, end - i));
        return;
    }
    if (i < s.size() && s[i] == '/') {
        out.block_delete = true;
        ++i;
    }

    char num[64];
    while (i < s.size()) {
        char c = s[i];
        if (blank(c)) { ++i; continue; }
        if (c == ';') break;
        if (c == '(') {
            size_t close = s.find(')', i);
            if (close == std::string_view::npos) break;  // a comment left open runs to the end of the line
            i = close + 1;
            continue;
        }
        if (c == '#' || c == '[') {
            return set_problem(out, issue::unsupported, word_text(s, i),
                               c == '#' ? "parameters are not supported" : "expressions are not supported");
        }
        if (!std::isalpha(static_cast<unsigned char>(c))) {
            return set_problem(out, issue::malformed, std::string(1, c), std::string("unexpected '") + c + "'");
        }
        char letter = char(std::toupper(static_cast<unsigned char>(c)));
        size_t at = i++;
        if (letter == 'O') return set_problem(out, issue::unsupported, word_text(s, at), "O-words (subprograms and loops) are not supported");
        // The number: optional sign, digits and one point; blanks inside are allowed.
        size_t n = 0;
        bool digits = false, point = false, sign_ok = true;
        while (i < s.size() && n < sizeof num - 1) {
            char d = s[i];
            if (blank(d)) { ++i; continue; }
            if ((d == '+' || d == '-') && sign_ok) {
                if (d == '-') num[n++] = d;
                sign_ok = false;
            } else if (std::isdigit(static_cast<unsigned char>(d))) {
                num[n++] = d;
                digits = true;
                sign_ok = false;
            } else if (d == '.' && !point) {
                num[n++] = d;
                point = true;
                sign_ok = false;
            } else {
                break;
            }
            ++i;
        }
        if (!digits) {
            if (i < s.size() && (s[i] == '#' || s[i] == '['))
                return set_problem(out, issue::unsupported, word_text(s, at),
                                   s[i] == '#' ? "parameters are not supported" : "expressions are not supported");
            return set_problem(out, issue::malformed, std::string(1, letter),
                               std::string("word ") + letter + " without a number");
        }
        double v = 0;
        const char* first = num;
        if (num[0] == '.' || (num[0] == '-' && n > 1 && num[1] == '.')) {
            // from_chars wants a digit before the point.
            char fixed[66];
            size_t k = 0;
            if (num[0] == '-') fixed[k++] = '-';
            fixed[k++] = '0';
            for (size_t j = num[0] == '-' ? 1 : 0; j < n; ++j) fixed[k++] = num[j];
            auto r = std::from_chars(fixed, fixed + k, v);
            (void)r;
        } else {
            std::from_chars(first, first + n, v);
        }
        if (!std::isfinite(v) || std::fabs(v) > MAX_NUMBER)
            return set_problem(out, issue::malformed, letter + std::string(num, n), "number out of range");
        if (letter == 'N') continue;  // line labels mean nothing to the machine
        out.words.push_back(word{letter, v, std::string(num, n)});
    }
}

}  // namespace gcode
