// The identity record in the board's user-data area, laid out as the console
// writes it: bytes 0-15 the machine identifier (up to 15 bytes, zero-padded),
// byte 17 the machine type code (3 M81, 4 M81DC, 5 R28); bytes 16 and 18 are
// kept as the board holds them.
#include <cstring>

#include "cnc_tasks.h"
#include "commands.h"
#include "exit_codes.h"
#include "output.h"

namespace {

constexpr uint32_t ID_FIELD = cnc::USER_ID_FIELD;  // bytes written for the identifier
constexpr size_t ID_MAX = ID_FIELD - 1;            // the last byte stays zero

// At most max bytes of text, cut before a UTF-8 sequence that would not fit
// whole.
size_t utf8_prefix(const std::string& text, size_t max)
{
    if (text.size() <= max) return text.size();
    size_t n = max;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    return n;
}

}  // namespace

int cmd_userdata_get(session& s, const options&, const args_list&)
{
    uint8_t rec[cnc::USER_TYPE_RECORD] = {};
    if (int r = s.dev->cnc_read_user_data(rec, 0, sizeof rec); r != PELK_OK) return s.failed(r, "reading the user data");
    std::string id(reinterpret_cast<const char*>(rec), strnlen(reinterpret_cast<const char*>(rec), ID_FIELD));
    // A board that never had an identifier written holds erased flash there.
    bool erased = id.find_first_not_of('\xFF') == std::string::npos;
    if (erased) s.put("machine_id", "(none written)", json_quote(""));
    else s.put("machine_id", id);
    s.put("machine_id_written", erased ? "no" : "yes", erased ? "false" : "true");
    uint8_t code = rec[cnc::USER_TYPE_BYTE];
    s.put("machine_type", cnc::machine_type_name(code));
    s.put_number("machine_type_code", code);
    return rc::ok;
}

int cmd_userdata_set(session& s, const options& o, const args_list& args)
{
    const std::string& what = args[0];
    const std::string& value = args[1];
    if (what == "id") {
        if (value.empty()) return fail(rc::usage, "userdata set id: the identifier is empty");
        uint8_t field[ID_FIELD] = {};
        size_t n = utf8_prefix(value, ID_MAX);
        if (n < value.size() && !o.truncate)
            return fail(rc::usage, "userdata set id: the identifier has %zu bytes, the board keeps %zu; nothing was "
                        "written (--truncate stores the first %zu)", value.size(), ID_MAX, n);
        if (n < value.size()) say("userdata set id: only the first %zu bytes are kept", n);
        std::memcpy(field, value.data(), n);
        if (int r = s.dev->cnc_write_user_data(field, 0, ID_FIELD); r != PELK_OK)
            return s.failed(r, "writing the machine identifier");
        say("machine identifier [%s] written", std::string(value, 0, n).c_str());
        return rc::ok;
    }
    if (what == "type") {
        const cnc::machine_type* type = nullptr;
        for (const auto& t : cnc::machine_types())
            if (value == t.name) type = &t;
        if (!type) return fail(rc::usage, "userdata set type: the type is M81, M81DC or R28, not '%s'", value.c_str());
        // The identifier and the bytes around the type stay as the board holds them.
        if (int r = cnc::write_machine_type(*s.dev, type->code); r != PELK_OK)
            return s.failed(r, "writing the machine type");
        say("machine type [%s] written", type->name);
        return rc::ok;
    }
    return fail(rc::usage, "userdata set: say id TEXT or type NAME");
}
