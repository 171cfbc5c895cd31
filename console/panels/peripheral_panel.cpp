#include "peripheral_panel.h"

#include <QButtonGroup>
#include <QColorDialog>
#include <QMainWindow>
#include <algorithm>
#include <QIntValidator>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <array>

#include "console_context.h"
#include "logged_call.h"
#include "message_log.h"
#include "cnc_board.h"
#include "ui_pelk_test.h"

namespace {

constexpr int byte_max = 255;

colour_chooser& colour_chooser_slot()
{
    static colour_chooser c;
    return c;
}

// A field read as a decimal number; text that is not one reads as 0.
int field_value(const QLineEdit* edit) { return edit->text().toInt(); }

}  // namespace

void set_colour_chooser(colour_chooser c) { colour_chooser_slot() = std::move(c); }

uint16_t pack_rgb(int red, int green, int blue)
{
    auto scale = [](int v, int top) { return std::clamp(v, 0, byte_max) * top / byte_max; };
    return uint16_t(scale(red, 31) << 11 | scale(green, 15) << 6 | scale(blue, 7));
}

peripheral_panel::peripheral_panel(const console_context& c, QButtonGroup* tool_change_type, QButtonGroup* colour_slot,
                                   QObject* parent)
    : QObject(parent), ctx(c), tool_change_type(tool_change_type), colour_slot(colour_slot)
{
    auto* u = ctx.ui;
    connect(u->rgb_slider_fh, &QSlider::valueChanged, this, &peripheral_panel::mcu_set_rgb_fh);
    connect(u->rgb_slider_bh, &QSlider::valueChanged, this, &peripheral_panel::mcu_set_rgb_bh);
    connect(u->rgb_slider_p, &QSlider::valueChanged, this, &peripheral_panel::mcu_set_rgb_progress);
    for (QSlider* s : {u->rgb_slider_r, u->rgb_slider_g, u->rgb_slider_b})
        connect(s, &QSlider::valueChanged, this, &peripheral_panel::mcu_set_led);
    connect(u->rgb_led_set, &QPushButton::clicked, this, &peripheral_panel::mcu_set_rgb_led);
    connect(u->rgb_value_p, &QLineEdit::returnPressed, this, &peripheral_panel::mcu_set_rgb_progress_value);
    connect(u->rgb_value_fh, &QLineEdit::returnPressed, this, &peripheral_panel::mcu_set_rgb_fh_value);
    connect(u->rgb_value_bh, &QLineEdit::returnPressed, this, &peripheral_panel::mcu_set_rgb_bh_value);
    for (QLineEdit* e : {u->rgb_value_r, u->rgb_value_g, u->rgb_value_b})
        connect(e, &QLineEdit::returnPressed, this, &peripheral_panel::mcu_set_led_rgb);
    for (QSlider* s : {u->rgb_slider_fh, u->rgb_slider_bh}) {
        s->setRange(0, 65535);
        s->setSingleStep(1000);
    }
    for (QSlider* s : {u->rgb_slider_p, u->rgb_slider_r, u->rgb_slider_g, u->rgb_slider_b}) {
        s->setRange(0, 100);
        s->setSingleStep(1);
    }
    connect(u->buzzer_slider_duty, &QSlider::valueChanged, this, &peripheral_panel::mcu_set_buzzer_duty);
    u->buzzer_slider_duty->setRange(0, 100);
    u->buzzer_slider_duty->setSingleStep(1);
    connect(u->buzzer_btn_period, &QPushButton::clicked, this, &peripheral_panel::mcu_set_buzzer_period);
    u->buzzer_edit_period->setValidator(new QIntValidator(1000, 100000, this));
    connect(u->cnc_tool_get, &QPushButton::clicked, this, &peripheral_panel::mcu_set_output_tool_change_switch_open);
    connect(u->cnc_tool_put, &QPushButton::clicked, this, &peripheral_panel::mcu_set_output_tool_change_switch_close);
    connect(u->cnc_dust_on, &QPushButton::clicked, this, &peripheral_panel::mcu_set_output_dust_switch_open);
    connect(u->cnc_dust_off, &QPushButton::clicked, this, &peripheral_panel::mcu_set_output_dust_switch_close);
    connect(u->rgb_select, &QPushButton::clicked, this, &peripheral_panel::cnc_rgb_select_color);
}

void peripheral_panel::send(const QByteArray& text, std::function<int(cnc::board&)> op)
{
    logged_call(ctx, this, "MCU", text, std::move(op));
}

int peripheral_panel::mcu_set_rgb_fh(int)
{
    if (!device_open) return 0;
    int v = ctx.ui->rgb_slider_fh->value();
    send(QString::asprintf("set rgb [fh:%d%%]...", v).toUtf8(),
         [=](cnc::board& b) { return b.mcu_bsp_rgb_fh(static_cast<unsigned short>(v)); });
    ctx.ui->rgb_value_fh->setText(QString::number(v));
    return 1;
}

int peripheral_panel::mcu_set_rgb_bh(int)
{
    if (!device_open) return 0;
    int v = ctx.ui->rgb_slider_bh->value();
    send(QString::asprintf("set rgb [bh:%d%%]...", v).toUtf8(),
         [=](cnc::board& b) { return b.mcu_bsp_rgb_bh(static_cast<unsigned short>(v)); });
    ctx.ui->rgb_value_bh->setText(QString::number(v));
    return 1;
}

int peripheral_panel::mcu_set_rgb_progress(int)
{
    if (!device_open) return 0;
    int v = ctx.ui->rgb_slider_p->value();
    send(QString::asprintf("set progress [p:%d%%]...", v).toUtf8(),
         [=](cnc::board& b) { return b.mcu_bsp_rgb_progress(static_cast<unsigned char>(v)); });
    ctx.ui->rgb_value_p->setText(QString::number(v));
    return 1;
}

int peripheral_panel::mcu_set_led(int)
{
    if (!device_open) return 0;
    int r = ctx.ui->rgb_slider_r->value(), g = ctx.ui->rgb_slider_g->value(), b = ctx.ui->rgb_slider_b->value();
    send(QString::asprintf("set led rgb [r:%d%% g:%d%% b:%d%%]...", r, g, b).toUtf8(),
         [=](cnc::board& board) {
             return board.mcu_bsp_led_rgb(static_cast<unsigned char>(r), static_cast<unsigned char>(g),
                                          static_cast<unsigned char>(b));
         });
    ctx.ui->rgb_value_r->setText(QString::number(r));
    ctx.ui->rgb_value_g->setText(QString::number(g));
    ctx.ui->rgb_value_b->setText(QString::number(b));
    return 1;
}

// The fields move their sliders; a slider that changes sends through its own
// value-change connection, so an unchanged value sends nothing.
int peripheral_panel::mcu_set_rgb_progress_value()
{
    if (!device_open) return 0;
    ctx.ui->rgb_slider_p->setValue(field_value(ctx.ui->rgb_value_p));
    return 1;
}

int peripheral_panel::mcu_set_rgb_fh_value()
{
    if (!device_open) return 0;
    ctx.ui->rgb_slider_fh->setValue(field_value(ctx.ui->rgb_value_fh));
    return 1;
}

int peripheral_panel::mcu_set_rgb_bh_value()
{
    if (!device_open) return 0;
    ctx.ui->rgb_slider_bh->setValue(field_value(ctx.ui->rgb_value_bh));
    return 1;
}

int peripheral_panel::mcu_set_led_rgb()
{
    if (!device_open) return 0;
    // All three are read first: each slider's send rewrites the three fields.
    int r = field_value(ctx.ui->rgb_value_r), g = field_value(ctx.ui->rgb_value_g), b = field_value(ctx.ui->rgb_value_b);
    ctx.ui->rgb_slider_r->setValue(r);
    ctx.ui->rgb_slider_g->setValue(g);
    ctx.ui->rgb_slider_b->setValue(b);
    return 1;
}

int peripheral_panel::mcu_set_rgb_led()
{
    if (!device_open) return 0;
    const int start = field_value(ctx.ui->rgb_led_start);
    const int count = field_value(ctx.ui->rgb_led_num);
    const int value = field_value(ctx.ui->rgb_led_value);
    // Start and count travel as bytes: a number that does not fit one would
    // address other LEDs than the ones typed, so it is refused here.
    if (start < 0 || start > byte_max || count < 0 || count > byte_max) {
        ctx.log->log_message("MCU", nullptr, "set rgb led %d to %lld refused, start and count must be 0 to %d...",
                             start, static_cast<long long>(start) + count, byte_max);
        return 1;
    }
    // The buffer holds one value per LED of the strip; a longer range is
    // refused by the library, and nothing is written past the buffer.
    std::array<unsigned short, strip_leds> values{};
    std::fill_n(values.begin(), std::min(count, strip_leds), static_cast<unsigned short>(value));
    send(QString::asprintf("set rgb led %d to %d value 0x%x...", start, start + count, unsigned(value)).toUtf8(),
         [=](cnc::board& b) mutable {
             return b.mcu_bsp_rgb_led(static_cast<unsigned char>(start), static_cast<unsigned char>(count),
                                      values.data());
         });
    return 1;
}

int peripheral_panel::mcu_set_buzzer_duty(int buzzer)
{
    if (!device_open) return 0;
    send(QString::asprintf("set buzzer duty %d%%...", buzzer).toUtf8(),
         [=](cnc::board& b) { return b.mcu_bsp_buzzer_duty(static_cast<unsigned char>(buzzer)); });
    return 1;
}

int peripheral_panel::mcu_set_buzzer_period()
{
    if (!device_open) return 0;
    // The validator keeps the field to digits; a number still being typed is
    // sent as it stands, an empty field as 0.
    int p = field_value(ctx.ui->buzzer_edit_period);
    send(QString::asprintf("set buzzer period %d us...", p).toUtf8(),
         [=](cnc::board& b) { return b.mcu_bsp_buzzer_period(static_cast<unsigned int>(p)); });
    return 1;
}

int peripheral_panel::tool_switch(bool on)
{
    if (!device_open) return 0;
    int type = tool_change_type->checkedId();
    send(on ? "set output tool switch open..." : "set output tool switch close...",
         [=](cnc::board& b) { return b.mcu_bsp_cnc_output_tool_switch(static_cast<tool_switch_type>(type), on); });
    return 1;
}

int peripheral_panel::dust_switch(bool on)
{
    if (!device_open) return 0;
    send(on ? "set output dust clear switch open..." : "set output dust clear switch close...",
         [on](cnc::board& b) { return b.mcu_bsp_cnc_output_dust_switch(on); });
    return 1;
}

int peripheral_panel::mcu_set_output_tool_change_switch_open() { return tool_switch(true); }
int peripheral_panel::mcu_set_output_tool_change_switch_close() { return tool_switch(false); }
int peripheral_panel::mcu_set_output_dust_switch_open() { return dust_switch(true); }
int peripheral_panel::mcu_set_output_dust_switch_close() { return dust_switch(false); }

void peripheral_panel::cnc_rgb_select_color()
{
    const QColor initial = QColor::fromRgba(0xFFFFFFFFu);
    QColor c = colour_chooser_slot() ? colour_chooser_slot()(ctx.window, initial)
                         : QColorDialog::getColor(initial, ctx.window, QString(), QColorDialog::ShowAlphaChannel);
    if (!c.isValid()) return;
    const uint16_t word = pack_rgb(c.red(), c.green(), c.blue());
    ctx.ui->rb_color_value->setText(QString::number(word, 16));
    const QByteArray line = QByteArray("$cr") + QByteArray::number(colour_slot->checkedId()) + "=" +
                            QByteArray::number(int(word));
    // Results are not shown: a failure shows on the controller only.
    ctx.worker->command(
        this,
        [line, word](cnc::board& b) {
            b.cnc_parser(line.constData());
            b.mcu_bsp_rgb_progress(100);
            b.mcu_bsp_rgb_fh(word);
            return 0;
        },
        {});
}
