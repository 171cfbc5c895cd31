// The machine parameter table: print it, write it from a file or change one
// value, store it in a flash block and load a block.
#include <cstdio>
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

// Values one per line as the parameter file holds them: each line read as a
// number (0 when it holds none). More than 512 lines is an error.
int read_value_file(const std::string& path, std::vector<float>& values)
{
    FILE* f = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
    if (!f) return fail(rc::local_file, "%s: cannot be read", path.c_str());
    char line[128];
    int code = rc::ok;
    while (std::fgets(line, sizeof line, f)) {
        if (values.size() == MAX_VALUES) {
            code = fail(rc::local_file, "%s: more than %d values", path.c_str(), MAX_VALUES);
            break;
        }
        values.push_back(float(std::atof(line)));
    }
    if (f != stdin) std::fclose(f);
    if (code == rc::ok && values.empty()) code = fail(rc::local_file, "%s: no values", path.c_str());
    return code;
}

int block_op(session& s, const args_list& args, int (pelk_cnc::*op)(uint32_t), const char* what)
{
    if (args[0] != "0" && args[0] != "1") return fail(rc::usage, "%s: the flash block is 0 or 1", what);
    uint32_t block = uint32_t(args[0][0] - '0');
    if (int r = (s.dev->*op)(block); r != PELK_OK) return s.failed(r, what);
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
    for (float v : values) std::printf("%f\n", double(v));
    return rc::ok;
}

int cmd_params_set(session& s, const options&, const args_list& args)
{
    std::vector<float> values;
    if (args.size() == 1) {
        if (int code = read_value_file(args[0], values); code != rc::ok) return code;
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
    return block_op(s, args, &pelk_cnc::cnc_save_param, "params save");
}

int cmd_params_load(session& s, const options&, const args_list& args)
{
    return block_op(s, args, &pelk_cnc::cnc_load_param, "params load");
}
