#include "board_result.h"

#include <cstdlib>
#include <cstring>

#include "exit_codes.h"
#include "output.h"

namespace {

constexpr uint16_t RESULT_CAPACITY = 10240;
constexpr int MAX_DEPTH = 32;

struct json_reader {
    const std::string& s;
    size_t i = 0;

    void blanks()
    {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r')) ++i;
    }

    static void put_utf8(std::string& out, unsigned cp)
    {
        if (cp < 0x80) {
            out += char(cp);
        } else if (cp < 0x800) {
            out += char(0xC0 | (cp >> 6));
            out += char(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += char(0xE0 | (cp >> 12));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        } else {
            out += char(0xF0 | (cp >> 18));
            out += char(0x80 | ((cp >> 12) & 0x3F));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        }
    }

    bool hex4(unsigned& v)
    {
        if (i + 4 > s.size()) return false;
        v = 0;
        for (int k = 0; k < 4; ++k) {
            char c = s[i++];
            v <<= 4;
            if (c >= '0' && c <= '9') v |= unsigned(c - '0');
            else if (c >= 'a' && c <= 'f') v |= unsigned(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') v |= unsigned(c - 'A' + 10);
            else return false;
        }
        return true;
    }

    bool string(std::string& out)
    {
        if (i >= s.size() || s[i] != '"') return false;
        ++i;
        while (i < s.size()) {
            char c = s[i++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (i >= s.size()) return false;
            char e = s[i++];
            switch (e) {
            case '"': case '\\': case '/': out += e; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                unsigned cp = 0;
                if (!hex4(cp)) return false;
                if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < s.size() && s[i] == '\\' && s[i + 1] == 'u') {
                    i += 2;
                    unsigned low = 0;
                    if (!hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                }
                put_utf8(out, cp);
                break;
            }
            default: return false;
            }
        }
        return false;
    }

    // Any value; a string's text in *text, a number in *number.
    bool value(int depth, std::string* text = nullptr, bool* is_number = nullptr, double* number = nullptr)
    {
        if (depth > MAX_DEPTH) return false;
        blanks();
        if (i >= s.size()) return false;
        char c = s[i];
        if (c == '"') {
            std::string t;
            if (!string(t)) return false;
            if (text) *text = std::move(t);
            return true;
        }
        if (c == '{' || c == '[') {
            char close = c == '{' ? '}' : ']';
            ++i;
            blanks();
            if (i < s.size() && s[i] == close) {
                ++i;
                return true;
            }
            for (;;) {
                if (c == '{') {
                    blanks();
                    std::string key;
                    if (!string(key)) return false;
                    blanks();
                    if (i >= s.size() || s[i] != ':') return false;
                    ++i;
                }
                if (!value(depth + 1)) return false;
                blanks();
                if (i >= s.size()) return false;
                if (s[i] == ',') {
                    ++i;
                    continue;
                }
                if (s[i] != close) return false;
                ++i;
                return true;
            }
        }
        for (const char* word : {"true", "false", "null"})
            if (s.compare(i, std::strlen(word), word) == 0) {
                i += std::strlen(word);
                return true;
            }
        const char* start = s.c_str() + i;
        char* end = nullptr;
        double v = std::strtod(start, &end);
        if (end == start || (c != '-' && (c < '0' || c > '9'))) return false;
        i += size_t(end - start);
        if (is_number) *is_number = true;
        if (number) *number = v;
        return true;
    }
};

}  // namespace

const result_member* board_result::find(const std::string& key) const
{
    for (const auto& m : members)
        if (m.key == key) return &m;
    return nullptr;
}

std::string board_result::text(const std::string& key) const
{
    const result_member* m = find(key);
    if (!m) return {};
    return m->is_string ? m->text : m->json;
}

bool board_result::number(const std::string& key, double* out) const
{
    const result_member* m = find(key);
    if (!m) return false;
    if (m->is_number) {
        *out = m->number;
        return true;
    }
    if (!m->is_string || m->text.empty()) return false;
    char* end = nullptr;
    double v = std::strtod(m->text.c_str(), &end);
    if (*end) return false;
    *out = v;
    return true;
}

void board_result::merge(const board_result& later)
{
    if (later.raw.empty()) return;
    if (!later.object || (!object && !raw.empty())) {
        // Texts that are not objects cannot be joined member by member.
        raw = raw.empty() ? later.raw : raw + "\n" + later.raw;
        object = false;
        members.clear();
        return;
    }
    for (const auto& m : later.members) {
        bool replaced = false;
        for (auto& mine : members)
            if (mine.key == m.key) {
                mine = m;
                replaced = true;
                break;
            }
        if (!replaced) members.push_back(m);
    }
    object = true;
    raw = json();
}

void board_result::erase(const std::string& key)
{
    std::erase_if(members, [&](const result_member& m) { return m.key == key; });
    if (object) raw = json();
}

std::string board_result::json() const
{
    if (!object) return raw;
    std::string out = "{";
    for (size_t k = 0; k < members.size(); ++k) {
        if (k) out += ",";
        out += json_quote(members[k].key) + ":" + members[k].json;
    }
    return out + "}";
}

bool parse_board_result(const std::string& raw, board_result& out)
{
    out = board_result{};
    out.raw = raw;
    json_reader r{raw};
    r.blanks();
    if (r.i >= raw.size() || raw[r.i] != '{') return false;
    ++r.i;
    std::vector<result_member> members;
    r.blanks();
    if (r.i < raw.size() && raw[r.i] == '}') {
        ++r.i;
    } else {
        for (;;) {
            result_member m;
            r.blanks();
            if (!r.string(m.key)) return false;
            r.blanks();
            if (r.i >= raw.size() || raw[r.i] != ':') return false;
            ++r.i;
            r.blanks();
            size_t start = r.i;
            m.is_string = start < raw.size() && raw[start] == '"';
            if (!r.value(1, &m.text, &m.is_number, &m.number)) return false;
            m.json = raw.substr(start, r.i - start);
            members.push_back(std::move(m));
            r.blanks();
            if (r.i < raw.size() && raw[r.i] == ',') {
                ++r.i;
                continue;
            }
            if (r.i >= raw.size() || raw[r.i] != '}') return false;
            ++r.i;
            break;
        }
    }
    r.blanks();
    if (r.i != raw.size()) return false;
    out.members = std::move(members);
    out.object = true;
    return true;
}

int read_board_result(session& s, board_result& out)
{
    std::vector<uint8_t> text(RESULT_CAPACITY + 1, 0);
    uint16_t got = 0;
    if (int r = s.dev->cnc_get_results(text.data(), RESULT_CAPACITY, &got); r != PELK_OK)
        return s.failed(r, "reading the result text");
    const char* p = reinterpret_cast<const char*>(text.data());
    std::string raw(p, strnlen(p, got));
    while (!raw.empty() && (raw.back() == '\n' || raw.back() == '\r' || raw.back() == ' ')) raw.pop_back();
    parse_board_result(raw, out);
    return rc::ok;
}
