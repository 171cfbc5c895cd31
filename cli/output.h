// Where output goes: messages to standard error, data and JSON to standard
// output. Also the small JSON and table writers the commands share.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Messages are whole lines: lines written by several threads (--all) never
// mix. The prefix and the last failure below belong to the calling thread.

// "pelkctl: <text>" on standard error.
void say(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// With --verbose, "pelkctl: <text>" on standard error: what pelkctl did and
// what came of it, between the libraries' own lines.
void note(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void set_verbose(bool on);
bool verbose();
// say(), remembers the text as the last failure and returns code.
int fail(int code, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
// The text of the most recent fail(); cleared by clear_failure().
const std::string& last_failure();
void clear_failure();
// Messages carry this prefix after "pelkctl: " while set (used by --all).
void set_message_prefix(const std::string& prefix);
const std::string& message_prefix();

// Writes text to standard error at once, between other threads' lines.
void write_stderr(const std::string& text);

std::string json_quote(const std::string& text);
std::string json_number(double v);

// A JSON object built member by member, in order.
class json_object {
public:
    json_object& str(const std::string& key, const std::string& value);
    json_object& num(const std::string& key, double value);
    json_object& integer(const std::string& key, int64_t value);
    json_object& boolean(const std::string& key, bool value);
    json_object& raw(const std::string& key, const std::string& json);
    std::string text() const;
    bool empty() const { return members.empty(); }

private:
    std::vector<std::pair<std::string, std::string>> members;
};

std::string json_array(const std::vector<std::string>& items);

// Prints rows under a header with columns padded to their widest cell.
void print_table(const std::vector<std::string>& header, const std::vector<std::vector<std::string>>& rows);

// Text helpers.
// A name the library gives as "unknown(N)" written as pelkctl always has: "unknown (N)".
std::string spaced_unknown(const std::string& name);
std::string hex_bytes(const uint8_t* data, size_t n);
std::string format_rate(double bytes_per_second);
std::string format_bytes(uint64_t bytes);
