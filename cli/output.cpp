#include "output.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace {
// With --all every board runs on a thread of its own: the prefix naming the
// board and the failure it last reported belong to the thread.
thread_local std::string failure_text;
thread_local std::string prefix;
bool verbose_on = false;

std::mutex& line_lock()
{
    static std::mutex* m = new std::mutex;  // never destroyed: threads may write while the process ends
    return *m;
}

std::string vformat(const char* fmt, va_list ap)
{
    char buf[2048];
    int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
    if (n < 0) return {};
    return std::string(buf, size_t(n) < sizeof buf ? size_t(n) : sizeof buf - 1);
}

void message_line(const std::string& text) { write_stderr("pelkctl: " + prefix + text + "\n"); }
}  // namespace

void write_stderr(const std::string& text)
{
    std::lock_guard<std::mutex> g(line_lock());
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

void say(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    std::string text = vformat(fmt, ap);
    va_end(ap);
    message_line(text);
}

void set_verbose(bool on) { verbose_on = on; }
bool verbose() { return verbose_on; }

void note(const char* fmt, ...)
{
    if (!verbose_on) return;
    va_list ap;
    va_start(ap, fmt);
    std::string text = vformat(fmt, ap);
    va_end(ap);
    message_line(text);
}

int fail(int code, const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    failure_text = vformat(fmt, ap);
    va_end(ap);
    message_line(failure_text);
    return code;
}

const std::string& last_failure() { return failure_text; }
void clear_failure() { failure_text.clear(); }
void set_message_prefix(const std::string& p) { prefix = p; }
const std::string& message_prefix() { return prefix; }

namespace {
// Length of the well-formed UTF-8 sequence at text[i], or 0 when the bytes
// there are not one (stray continuation bytes, overlong forms, surrogates,
// cut-off sequences, bytes such as 0xFF that UTF-8 never uses).
size_t utf8_sequence(const std::string& text, size_t i)
{
    auto at = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char c = at(i);
    size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
    if (c >= 0xF5 || n == 0 || i + n > text.size()) return 0;
    for (size_t k = 1; k < n; ++k)
        if ((at(i + k) & 0xC0) != 0x80) return 0;
    unsigned char c1 = at(i + 1);
    if ((c == 0xE0 && c1 < 0xA0) || (c == 0xED && c1 >= 0xA0) || (c == 0xF0 && c1 < 0x90) || (c == 0xF4 && c1 >= 0x90))
        return 0;
    return n;
}
}  // namespace

std::string json_quote(const std::string& text)
{
    // Boards send whatever bytes their fields hold (an erased identifier is
    // all 0xFF). Well-formed UTF-8 passes as it is; any other byte is written
    // as the character of the same number (\u00XX), so the output always
    // parses and the byte can still be told.
    std::string out = "\"";
    char esc[8];
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                std::snprintf(esc, sizeof esc, "\\u%04x", c);
                out += esc;
            } else if (c < 0x80) {
                out += char(c);
            } else if (size_t n = utf8_sequence(text, i)) {
                out.append(text, i, n);
                i += n - 1;
            } else {
                std::snprintf(esc, sizeof esc, "\\u%04x", c);
                out += esc;
            }
        }
    }
    return out + "\"";
}

std::string json_number(double v)
{
    if (!std::isfinite(v)) return "null";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.10g", v);
    return buf;
}

json_object& json_object::str(const std::string& key, const std::string& value)
{
    members.emplace_back(key, json_quote(value));
    return *this;
}

json_object& json_object::num(const std::string& key, double value)
{
    members.emplace_back(key, json_number(value));
    return *this;
}

json_object& json_object::integer(const std::string& key, int64_t value)
{
    members.emplace_back(key, std::to_string(value));
    return *this;
}

json_object& json_object::boolean(const std::string& key, bool value)
{
    members.emplace_back(key, value ? "true" : "false");
    return *this;
}

json_object& json_object::raw(const std::string& key, const std::string& json)
{
    members.emplace_back(key, json);
    return *this;
}

std::string json_object::text() const
{
    std::string out = "{";
    for (size_t i = 0; i < members.size(); ++i) {
        if (i) out += ",";
        out += json_quote(members[i].first) + ":" + members[i].second;
    }
    return out + "}";
}

std::string json_array(const std::vector<std::string>& items)
{
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) out += (i ? "," : "") + items[i];
    return out + "]";
}

void print_table(const std::vector<std::string>& header, const std::vector<std::vector<std::string>>& rows)
{
    std::vector<size_t> width(header.size());
    for (size_t c = 0; c < header.size(); ++c) width[c] = header[c].size();
    for (const auto& r : rows)
        for (size_t c = 0; c < r.size() && c < width.size(); ++c) width[c] = std::max(width[c], r[c].size());
    auto line = [&](const std::vector<std::string>& cells) {
        std::string out;
        for (size_t c = 0; c < width.size(); ++c) {
            std::string cell = c < cells.size() ? cells[c] : "";
            if (c + 1 < width.size()) cell.resize(width[c], ' ');
            out += cell + (c + 1 < width.size() ? "  " : "");
        }
        std::printf("%s\n", out.c_str());
    };
    line(header);
    for (const auto& r : rows) line(r);
}

std::string hex_bytes(const uint8_t* data, size_t n)
{
    std::string out;
    char two[3];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(two, sizeof two, "%02x", data[i]);
        out += two;
    }
    return out;
}

std::string format_bytes(uint64_t bytes)
{
    char buf[32];
    if (bytes >= 1024 * 1024)
        std::snprintf(buf, sizeof buf, "%.1f MiB", double(bytes) / (1024.0 * 1024.0));
    else if (bytes >= 1024)
        std::snprintf(buf, sizeof buf, "%.1f KiB", double(bytes) / 1024.0);
    else
        std::snprintf(buf, sizeof buf, "%llu B", static_cast<unsigned long long>(bytes));
    return buf;
}

std::string format_rate(double bytes_per_second)
{
    if (!(bytes_per_second >= 0) || !std::isfinite(bytes_per_second)) return "-";
    return format_bytes(uint64_t(bytes_per_second)) + "/s";
}

std::string spaced_unknown(const std::string& name)
{
    const std::string bare = "unknown(";
    if (name.compare(0, bare.size(), bare) != 0) return name;
    return "unknown (" + name.substr(bare.size());
}
