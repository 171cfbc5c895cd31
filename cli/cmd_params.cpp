// The machine parameter table: print it, write it from a file or change one
// value, store it in a flash block and load a block.
#include <cctype>
#include <cstdio>
#include <string>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "commands.h"
#include "exit_codes.h"
#include "output.h"

namespace {

constexpr int MAX_VALUES = 512;  // the table holds at most 2048 bytes

int read_table(session& s, std::vector<float>& values)
{
    uint8_t buf[MAX_VALUES * 4] = {};
    int n = s.dev->cnc_read_param_to_buffer(buf, sizeof buf);
    if (n < 0) return s.failed(n, "reading the parameter table");
    values.resize(size_t(std::min(n, MAX_VALUES)));
    std::memcpy(values.data(), buf, values.size() * 4);
    return rc::ok;
}

int write_table(session& s, const std::vector<float>& values)
{
    std::vector<uint8_t> buf(values.size() * 4);
    std::memcpy(buf.data(), values.data(), buf.size());
    int r = s.dev->cnc_write_param_from_buffer(buf.data(), uint16_t(buf.size()));
    return r == PELK_OK ? rc::ok : s.failed(r, "writing the parameter table");
}

bool parse_index(const std::string& text, int* out)
{
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || v < 0 || v >= MAX_VALUES) return false;
    *out = int(v);
    return true;
}

bool parse_value(const std::string& text, float* out)
{
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end) return false;
    *out = float(v);
    return true;
}

// A parameter table file: one value per line, as param.txt holds them, or
// "INDEX VALUE" as params get prints them (INDEX then has to be the line's
// own). The board would read any line as a number, 0 for text; a line that
// is not one means the file is not a parameter table, so it is refused here.
int read_value_file(const std::string& path, std::vector<float>& values)
{
    FILE* f = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
    if (!f) return fail(rc::local_file, "%s: cannot be read", path.c_str());
    std::string line;
    int code = rc::ok;
    size_t number = 0;
    for (int c = 0; code == rc::ok;) {
        line.clear();
        while ((c = std::fgetc(f)) != EOF && c != '\n') line += char(c);
        if (c == EOF && line.empty()) break;
        ++number;
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
        size_t start = line.find_first_not_of(" \t");
        std::string text = start == std::string::npos ? "" : line.substr(start);
        if (auto gap = text.find_first_of(" \t"); gap != std::string::npos) {
            int index = -1;
            if (!parse_index(text.substr(0, gap), &index) || size_t(index) != number - 1) {
                code = fail(rc::local_file, "%s: line %zu: '%s' is not a parameter value (nor \"%zu VALUE\"); "
                            "not a parameter table, nothing was sent", path.c_str(), number, text.c_str(), number - 1);
                break;
            }
            text = text.substr(text.find_first_not_of(" \t", gap));
        }
        float v = 0;
        if (!parse_value(text, &v)) {
            code = fail(rc::local_file, "%s: line %zu: '%s' is not a number; not a parameter table, nothing was sent",
                        path.c_str(), number, text.c_str());
            break;
        }
        if (values.size() == MAX_VALUES) {
            code = fail(rc::local_file, "%s: more than %d values", path.c_str(), MAX_VALUES);
            break;
        }
        values.push_back(v);
    }
    if (f != stdin) std::fclose(f);
    if (code == rc::ok && values.empty()) code = fail(rc::local_file, "%s: no values", path.c_str());
    return code;
}

int block_op(session& s, const args_list& args, int (cnc::board::*op)(uint32_t), const char* what)
{
    if (args[0] != "0" && args[0] != "1") return fail(rc::usage, "%s: the flash block is 0 or 1", what);
    uint32_t block = uint32_t(args[0][0] - '0');
    if (int r = ((*s.dev).*op)(block); r != PELK_OK) return s.failed(r, what);
    say("%s: block %u done", what, block);
    return rc::ok;
}

}  // namespace

int cmd_params_get(session& s, const options& o, const args_list& args)
{
    int index = -1;
    if (!args.empty() && !parse_index(args[0], &index))
        return fail(rc::usage, "params get: INDEX is a number from 0 to %d", MAX_VALUES - 1);
    std::vector<float> values;
    if (int code = read_table(s, values); code != rc::ok) return code;
    if (index >= int(values.size()))
        return fail(rc::refused, "params get: the table holds %zu values, no index %d", values.size(), index);
    if (o.json) {
        std::vector<std::string> items;
        for (float v : values) items.push_back(json_number(double(v)));
        if (index >= 0) std::printf("%s\n", json_object().integer("index", index).num("value", double(values[size_t(index)])).text().c_str());
        else std::printf("%s\n", json_array(items).c_str());
        return rc::ok;
    }
    if (index >= 0) {
        std::printf("%f\n", double(values[size_t(index)]));
        return rc::ok;
    }
    // Index and value, a form params set reads back.
    for (size_t i = 0; i < values.size(); ++i) std::printf("%zu %f\n", i, double(values[i]));
    return rc::ok;
}

int cmd_params_set(session& s, const options&, const args_list& args)
{
    std::vector<float> values;
    if (args.size() == 1) {
        if (int code = read_value_file(args[0], values); code != rc::ok) return code;
        // A table of another length belongs to other firmware or is not one.
        std::vector<float> held;
        if (int code = read_table(s, held); code != rc::ok) return code;
        if (values.size() != held.size())
            return fail(rc::local_file, "params set: %s holds %zu values, the board's table %zu; nothing was sent",
                        args[0].c_str(), values.size(), held.size());
    } else {
        int index = 0;
        float value = 0;
        if (!parse_index(args[0], &index)) return fail(rc::usage, "params set: INDEX is a number from 0 to %d", MAX_VALUES - 1);
        if (!parse_value(args[1], &value)) return fail(rc::usage, "params set: '%s' is not a number", args[1].c_str());
        if (int code = read_table(s, values); code != rc::ok) return code;
        if (index >= int(values.size()))
            return fail(rc::refused, "params set: the table holds %zu values, no index %d", values.size(), index);
        values[size_t(index)] = value;
    }
    if (int code = write_table(s, values); code != rc::ok) return code;
    say("params set: %zu values written", values.size());
    return rc::ok;
}

int cmd_params_save(session& s, const options&, const args_list& args)
{
    return block_op(s, args, &cnc::board::cnc_save_param, "params save");
}

int cmd_params_load(session& s, const options&, const args_list& args)
{
    return block_op(s, args, &cnc::board::cnc_load_param, "params load");
}
