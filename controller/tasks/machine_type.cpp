// The machine type byte of the user-data record.
#include "cnc_tasks.h"

const std::vector<cnc::machine_type>& cnc::machine_types()
{
    static const std::vector<machine_type> types = {{3, "M81"}, {4, "M81DC"}, {5, "R28"}};
    return types;
}

std::string cnc::machine_type_name(uint8_t code)
{
    for (const auto& t : machine_types())
        if (t.code == code) return t.name;
    return "unknown";
}

int cnc::read_machine_type(board& b, uint8_t* code)
{
    uint8_t record[USER_TYPE_RECORD] = {};
    if (int r = b.cnc_read_user_data(record, 0, USER_TYPE_RECORD); r != PELK_OK) return r;
    if (code) *code = record[USER_TYPE_BYTE];
    return PELK_OK;
}

int cnc::write_machine_type(board& b, uint8_t code)
{
    uint8_t record[USER_TYPE_RECORD] = {};
    if (int r = b.cnc_read_user_data(record, 0, USER_TYPE_RECORD); r != PELK_OK) return r;
    record[USER_TYPE_BYTE] = code;
    return b.cnc_write_user_data(record, 0, USER_TYPE_RECORD);
}
