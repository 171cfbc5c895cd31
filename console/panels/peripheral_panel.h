// The board peripherals: RGB strip, status LED, LED ranges, colour slots,
// buzzer, tool-change and dust outputs.
//
// Test seam: set_colour_chooser() installs a function that answers the
// colour dialog instead of showing it (it gets the parent and the initial
// colour and returns the chosen colour, or an invalid QColor for a cancel).
// An empty function restores the real dialog.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QObject>
#include <cstdint>
#include <functional>

#include "cnc_board.h"
#include "console_context.h"

class QButtonGroup;
class QWidget;

using colour_chooser = std::function<QColor(QWidget* parent, const QColor& initial)>;
void set_colour_chooser(colour_chooser chooser);

// The 16-bit colour word of a colour slot: red in bits 15-11 (0-31), green in
// bits 9-6 (0-15), blue in bits 2-0 (0-7), each scaled down from 0-255.
uint16_t pack_rgb(int red, int green, int blue);

class peripheral_panel : public QObject {
    Q_OBJECT
public:
    static constexpr int strip_leds = 48;

    // tool_change_type: T, Q, T&Q (ids 0 .. 2); colour_slot: slots 0 .. 5.
    peripheral_panel(const console_context& ctx, QButtonGroup* tool_change_type, QButtonGroup* colour_slot,
                     QObject* parent = nullptr);

    int mcu_set_rgb_fh(int rgb);
    int mcu_set_rgb_bh(int rgb);
    int mcu_set_rgb_progress(int p);
    int mcu_set_rgb_led();
    int mcu_set_led(int p);
    int mcu_set_led_rgb();
    int mcu_set_rgb_progress_value();
    int mcu_set_rgb_fh_value();
    int mcu_set_rgb_bh_value();
    int mcu_set_buzzer_duty(int buzzer);
    int mcu_set_buzzer_period();
    int mcu_set_output_tool_change_switch_open();
    int mcu_set_output_tool_change_switch_close();
    int mcu_set_output_dust_switch_open();
    int mcu_set_output_dust_switch_close();
    void cnc_rgb_select_color();

private:
    // The "MCU" announcement with text, the call, the result line.
    void send(const QByteArray& text, std::function<int(cnc::board&)> op);
    int tool_switch(bool on);
    int dust_switch(bool on);

    console_context ctx;
    QButtonGroup* tool_change_type;
    QButtonGroup* colour_slot;
};
