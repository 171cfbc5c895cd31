#include "json_check.h"

#include <cctype>
#include <cstdlib>

namespace {

const jvalue null_value;

struct reader {
    const std::string& t;
    size_t i = 0;
    std::string why;

    void blanks()
    {
        while (i < t.size() && (t[i] == ' ' || t[i] == '\n' || t[i] == '\r' || t[i] == '\t')) ++i;
    }
    bool fail(const std::string& w)
    {
        if (why.empty()) why = w + " at " + std::to_string(i);
        return false;
    }
    bool literal(const char* word)
    {
        std::string w = word;
        if (t.compare(i, w.size(), w) != 0) return fail("bad literal");
        i += w.size();
        return true;
    }
    bool string(std::string& out)
    {
        if (t[i] != '"') return fail("string expected");
        ++i;
        while (i < t.size() && t[i] != '"') {
            unsigned char c = static_cast<unsigned char>(t[i]);
            if (c < 0x20) return fail("control character in string");
            if (c == '\\') {
                if (++i >= t.size()) return fail("cut escape");
                char e = t[i];
                if (e == 'u') {
                    if (i + 4 >= t.size()) return fail("cut \\u");
                    for (int k = 1; k <= 4; ++k)
                        if (!std::isxdigit(static_cast<unsigned char>(t[i + k]))) return fail("bad \\u");
                    out += char(std::strtol(t.substr(i + 1, 4).c_str(), nullptr, 16) & 0x7F);
                    i += 4;
                } else if (std::string("\"\\/bfnrt").find(e) != std::string::npos) {
                    out += e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e;
                } else {
                    return fail("bad escape");
                }
                ++i;
                continue;
            }
            out += char(c);
            ++i;
        }
        if (i >= t.size()) return fail("unterminated string");
        ++i;
        return true;
    }
    bool number(double& out)
    {
        size_t start = i;
        if (t[i] == '-') ++i;
        if (i >= t.size() || !std::isdigit(static_cast<unsigned char>(t[i]))) return fail("bad number");
        if (t[i] == '0' && i + 1 < t.size() && std::isdigit(static_cast<unsigned char>(t[i + 1])))
            return fail("leading zero");
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i;
        if (i < t.size() && t[i] == '.') {
            ++i;
            if (i >= t.size() || !std::isdigit(static_cast<unsigned char>(t[i]))) return fail("bad fraction");
            while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i;
        }
        if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
            ++i;
            if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
            if (i >= t.size() || !std::isdigit(static_cast<unsigned char>(t[i]))) return fail("bad exponent");
            while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i;
        }
        out = std::strtod(t.substr(start, i - start).c_str(), nullptr);
        return true;
    }
    bool value(jvalue& v, int depth)
    {
        if (depth > 64) return fail("too deep");
        blanks();
        if (i >= t.size()) return fail("value expected");
        char c = t[i];
        if (c == '{') {
            v.kind = jvalue::object_v;
            ++i;
            blanks();
            if (i < t.size() && t[i] == '}') return ++i, true;
            for (;;) {
                blanks();
                std::string key;
                if (i >= t.size() || !string(key)) return fail("key expected");
                blanks();
                if (i >= t.size() || t[i] != ':') return fail("':' expected");
                ++i;
                if (!value(v.members[key], depth + 1)) return false;
                blanks();
                if (i < t.size() && t[i] == ',') { ++i; continue; }
                if (i < t.size() && t[i] == '}') return ++i, true;
                return fail("',' or '}' expected");
            }
        }
        if (c == '[') {
            v.kind = jvalue::array_v;
            ++i;
            blanks();
            if (i < t.size() && t[i] == ']') return ++i, true;
            for (;;) {
                v.items.emplace_back();
                if (!value(v.items.back(), depth + 1)) return false;
                blanks();
                if (i < t.size() && t[i] == ',') { ++i; continue; }
                if (i < t.size() && t[i] == ']') return ++i, true;
                return fail("',' or ']' expected");
            }
        }
        if (c == '"') return v.kind = jvalue::string_v, string(v.str);
        if (c == 't') return v.kind = jvalue::bool_v, v.b = true, literal("true");
        if (c == 'f') return v.kind = jvalue::bool_v, literal("false");
        if (c == 'n') return literal("null");
        v.kind = jvalue::number_v;
        return number(v.num);
    }
};

}  // namespace

const jvalue& jvalue::operator[](const std::string& key) const
{
    auto it = members.find(key);
    return it == members.end() ? null_value : it->second;
}

const jvalue& jvalue::operator[](size_t n) const { return n < items.size() ? items[n] : null_value; }

bool parse_json(const std::string& text, jvalue& out, std::string* why)
{
    reader r{text, 0, {}};
    out = jvalue{};
    bool ok = r.value(out, 0);
    if (ok) {
        r.blanks();
        if (r.i != text.size()) ok = r.fail("text after the value");
    }
    if (!ok && why) *why = r.why;
    return ok;
}
