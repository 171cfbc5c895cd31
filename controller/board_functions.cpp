// Exported board functions: identity, keys, FRAM, status LED, RGB strip,
// buzzer and the machine outputs. Each sends its command(s) on the shared
// link and turns any link failure into PELK_ERR_COMMAND.
#include "board_functions.h"

#include <algorithm>
#include <cstring>

#include "commands.h"
#include "board_state.h"
#include "trace.h"
#include "wire.h"

namespace {

constexpr unsigned char RGB_SELECT_PROGRESS = 0;
constexpr unsigned char RGB_SELECT_FH = 1;
constexpr unsigned char RGB_SELECT_BH = 2;
constexpr unsigned char RGB_SELECT_FIRST_LED = 3;

constexpr int MCU_ID_LEN = 12;

int rgb_send_value(cnc::board& b, unsigned char selector, unsigned short value)
{
    unsigned char payload[2];
    wire::put16(payload, value);
    return rgb_send_cmd(b, XFER_WRITE, selector, 1, payload, sizeof payload);
}

}  // namespace

int rgb_send_cmd(cnc::board& b, unsigned char type, unsigned char selector, unsigned char count, void* data, unsigned char len)
{
    unsigned arg = 1u | static_cast<unsigned>(selector) << 8 | static_cast<unsigned>(count) << 16;
    return b.command(cmd::RGB_STRIP, type, arg, static_cast<unsigned char*>(data), len);
}

int cnc::board::mcu_bsp_get_version(unsigned int* version)
{
    unsigned char buf[4] = {};
    if (command(cmd::VERSION, XFER_READ, 0, buf, sizeof buf) != PELK_OK) return PELK_ERR_COMMAND;
    if (version) *version = wire::get32(buf);
    return PELK_OK;
}

int cnc::board::mcu_bsp_get_mcu_id(unsigned char* id, unsigned char len)
{
    unsigned char buf[MCU_ID_LEN] = {};
    if (command(cmd::MCU_ID, XFER_READ, 0, buf, sizeof buf) != PELK_OK) return PELK_ERR_COMMAND;
    if (id) std::memcpy(id, buf, std::min<int>(len, MCU_ID_LEN));
    return PELK_OK;
}

int cnc::board::mcu_bsp_key(unsigned char key, unsigned char* state)
{
    unsigned char buf[1] = {};
    if (command(cmd::KEY, XFER_READ, key, buf, sizeof buf) != PELK_OK) return PELK_ERR_COMMAND;
    if (state) *state = buf[0];
    return PELK_OK;
}

int cnc::board::mcu_bsp_fram(unsigned char write, unsigned int addr, unsigned char* data, unsigned short len)
{
    // Without a buffer there is nothing to write and nowhere to read to.
    if (data == nullptr) len = 0;
    return command(cmd::FRAM, write ? XFER_WRITE : XFER_READ, addr, data, len);
}

int cnc::board::mcu_bsp_led_rgb(unsigned char r, unsigned char g, unsigned char b)
{
    unsigned char channels[3] = {r, g, b};
    for (unsigned i = 0; i < 3; ++i) {
        unsigned char percent = std::min<unsigned char>(channels[i], RGB_MAX_PERCENT);
        // The first failure ends the call; later channels keep their values.
        if (command(cmd::STATUS_LED, XFER_WRITE, i, &percent, 1) != PELK_OK) return PELK_ERR_COMMAND;
    }
    return PELK_OK;
}

int cnc::board::mcu_bsp_rgb_fh(unsigned short value) { return rgb_send_value(*this, RGB_SELECT_FH, value); }

int cnc::board::mcu_bsp_rgb_bh(unsigned short value) { return rgb_send_value(*this, RGB_SELECT_BH, value); }

int cnc::board::mcu_bsp_rgb_progress(unsigned char progress)
{
    if (progress > RGB_MAX_PERCENT) {
        pelk_trace("mcu_bsp_rgb_progress():progress value must <= %d,but the value is %d\n", RGB_MAX_PERCENT,
                   progress);
        return PELK_ERR_RANGE;
    }
    return rgb_send_value(*this, RGB_SELECT_PROGRESS, progress);
}

int cnc::board::mcu_bsp_rgb_led(unsigned char start, unsigned char num, unsigned short* colors)
{
    int end = start + num;
    if (end > RGB_STRIP_LEDS) {
        pelk_trace("mcu_bsp_rgb_led():led_num value must < %d,but the value is %d\n", RGB_STRIP_LEDS, end);
        return PELK_ERR_RANGE;
    }
    if (num == 0) {
        pelk_trace("mcu_bsp_rgb_led():led_num value must > 0\n");
        return PELK_ERR_RANGE;
    }
    if (colors == nullptr) return PELK_ERR_RANGE;
    unsigned char payload[RGB_STRIP_LEDS * 2];
    for (int i = 0; i < num; ++i) wire::put16(payload + 2 * i, colors[i]);
    return rgb_send_cmd(*this, XFER_WRITE, static_cast<unsigned char>(RGB_SELECT_FIRST_LED + start), num, payload,
                        static_cast<unsigned char>(num * 2));
}

int cnc::board::mcu_bsp_buzzer_duty(unsigned char duty)
{
    return command(cmd::BUZZER, XFER_WRITE, 0, &duty, 1);
}

int cnc::board::mcu_bsp_buzzer_period(unsigned int period)
{
    unsigned char payload[4];
    wire::put32(payload, period);
    return command(cmd::BUZZER, XFER_EXCHANGE, 0, payload, sizeof payload);
}

int cnc::board::mcu_bsp_cnc_output_tool_switch(tool_switch_type which, bool on)
{
    if (which != TOOL_SWITCH_0 && which != TOOL_SWITCH_1) return PELK_ERR_RANGE;
    unsigned char payload[2] = {static_cast<unsigned char>(on ? 1 : 0), static_cast<unsigned char>(which)};
    return command(cmd::MACHINE, XFER_WRITE, machine::TOOL_SWITCH, payload, sizeof payload);
}

int cnc::board::mcu_bsp_cnc_output_dust_switch(bool on)
{
    unsigned char payload = on ? 1 : 0;
    return command(cmd::MACHINE, XFER_WRITE, machine::DUST_SWITCH, &payload, 1);
}

int cnc::board::mcu_bsp_cnc_calib() { return command(cmd::MACHINE, XFER_WRITE, machine::CALIBRATE, nullptr, 0); }
