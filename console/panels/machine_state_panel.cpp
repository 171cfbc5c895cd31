#include "machine_state_panel.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtDebug>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "message_boxes.h"
#include "logged_call.h"
#include "message_log.h"
#include "ui_pelk_test.h"

namespace {

constexpr int run_state_bits = 11;
constexpr float max_jog_mm = 1e9f;  // keeps the integer move defined for any typed distance
const char* const results_file = "results.csv";
const char* const probe_keys[CNC_AXES] = {"PRBX", "PRBY", "PRBZ", "PRBA", "PRBB", "PRBC", "PRBU", "PRBV", "PRBW"};

int bar_value(uint32_t v, const QProgressBar* bar) { return int(std::min<uint32_t>(v, uint32_t(bar->maximum()))); }

}  // namespace

machine_state_panel::machine_state_panel(const console_context& c, QButtonGroup* run_state, QObject* parent)
    : QObject(parent), ctx(c), run_state(run_state)
{
    connect(ctx.worker, &board_worker::polled, this, &machine_state_panel::polled);
    auto* u = ctx.ui;
    for (QPushButton* b : {u->cnc_axis_x_add, u->cnc_axis_x_sub, u->cnc_axis_y_add, u->cnc_axis_y_sub,
                           u->cnc_axis_z_add, u->cnc_axis_z_sub, u->cnc_axis_a_add, u->cnc_axis_a_sub,
                           u->cnc_axis_b_add, u->cnc_axis_b_sub, u->cnc_axis_c_add, u->cnc_axis_c_sub,
                           u->cnc_axis_u_add, u->cnc_axis_u_sub, u->cnc_axis_v_add, u->cnc_axis_v_sub,
                           u->cnc_axis_w_add, u->cnc_axis_w_sub})
        connect(b, &QPushButton::clicked, this, [this, b] { cnc_axis_step(b); });
    u->cnc_axis_travel_length->setText("4");
    u->cnc_axis_feed->setText("1000");
}

void machine_state_panel::connection_opened() { shown_alarm = 0; }

void machine_state_panel::cnc_timer_update_state()
{
    if (!device_open) {
        shown_alarm = 0;  // a new connection shows a standing alarm once more
        return;
    }
    if (asking) return;  // a late answer is not asked for twice
    asking = true;
    ctx.worker->poll();
}

void machine_state_panel::polled(const board_poll& p)
{
    asking = false;
    if (!device_open || p.result != 0) return;
    // This answer works on its own copy: one that arrives while a box of an
    // earlier one is open is shown whole and refills the member.
    status = p.status;
    const cnc_status now = p.status;
    show_status(now);
    emit status_shown(now);

    // Answers keep coming while a modal box of an earlier one is open (the
    // box runs the event loop); they update the display but open no box of
    // their own on top of it.
    if (now.alarm_code == 0)
        shown_alarm = 0;
    else if (!box_open)
        raise_alarm(now.alarm_code);
    if (!device_open) return;  // the link went while the box was open

    uint32_t bytes = std::min(now.download_bytes, program_size);
    ctx.ui->cnc_nc_download->setValue(bar_value(bytes, ctx.ui->cnc_nc_download));

    if (now.run_state == 0 && !box_open) {
        // The record's name need not end in a zero.
        QByteArray name(now.job_name, int(strnlen(now.job_name, CNC_JOB_NAME_LEN)));
        box_open = true;  // the resume question may be asked
        emit idle_seen(name, now.run_line, now.resume_pending);
        box_open = false;
        if (!device_open) return;
    }
    if (!p.results.isEmpty()) take_results(p.results);
}

void machine_state_panel::show_status(const cnc_status& s)
{
    auto* u = ctx.ui;
    QLineEdit* mpos[CNC_AXES] = {u->cnc_axis_x_mpos, u->cnc_axis_y_mpos, u->cnc_axis_z_mpos,
                                 u->cnc_axis_a_mpos, u->cnc_axis_b_mpos, u->cnc_axis_c_mpos,
                                 u->cnc_axis_u_mpos, u->cnc_axis_v_mpos, u->cnc_axis_w_mpos};
    QLineEdit* wpos[CNC_AXES] = {u->cnc_axis_x_wpos, u->cnc_axis_y_wpos, u->cnc_axis_z_wpos,
                                 u->cnc_axis_a_wpos, u->cnc_axis_b_wpos, u->cnc_axis_c_wpos,
                                 u->cnc_axis_u_wpos, u->cnc_axis_v_wpos, u->cnc_axis_w_wpos};
    for (int i = 0; i < CNC_AXES; ++i) mpos[i]->setText(QString::number(double(s.machine_pos[i]), 'g', 6));
    for (int i = 0; i < CNC_AXES; ++i) wpos[i]->setText(QString::number(double(s.work_pos[i]), 'g', 6));
    u->cnc_line_number->setText(QString::number(s.run_line));
    u->cnc_line_parser->setText(QString::number(s.parse_line));
    u->cnc_update_bar->setValue(bar_value(s.run_line, u->cnc_update_bar));
    u->cnc_line_limit->setText(QString::number(s.limit_state, 2));
    u->cnc_state_pressure->setChecked(s.air_pressure == 0);
    u->cnc_state_door->setChecked(s.door == 0);
    u->cnc_state_dust->setChecked(s.dust != 0);
    u->cnc_state_cool0->setChecked(s.coolant[0] != 0);
    u->cnc_state_cool1->setChecked(s.coolant[1] != 0);
    u->cnc_state_drawer->setChecked(s.drawer == 0);
    u->cnc_state_spd0->setText(QString::number(s.spindle_speed[0]));
    u->cnc_state_spd1->setText(QString::number(s.spindle_speed[1]));
    u->cnc_state_tool0->setText(QString::number(s.tool_numbers & 0xFF));
    u->cnc_state_tool1->setText(QString::number(s.tool_numbers >> 8));
    for (int bit = 0; bit < run_state_bits; ++bit)
        if (QAbstractButton* b = run_state->button(bit)) b->setChecked(s.run_state & (1u << bit));
    u->cnc_run_state_idle->setChecked(s.run_state == 0);
}

void machine_state_panel::raise_alarm(uint16_t code)
{
    // One box per alarm: not again while it stands.
    if (code == shown_alarm) return;
    shown_alarm = code;
    box_open = true;
    QByteArray text = QByteArray::number(code);
    info_box(ctx.window, "alarm code:", text.constData());
    box_open = false;
}

void machine_state_panel::take_results(const QByteArray& text)
{
    // Up to its first zero: the board's text is C text.
    last_results = QByteArray(text.constData(), int(strnlen(text.constData(), size_t(text.size()))));
    ctx.log->log_message(nullptr, nullptr, "get results.\n%s", last_results.constData());
    store_probe_results(last_results.constData());
    emit results_taken(last_results);
}

void machine_state_panel::store_probe_results(const char* text)
{
    QJsonParseError err{};
    QJsonDocument doc = QJsonDocument::fromJson(QByteArray(text), &err);
    if (err.error != QJsonParseError::NoError) {
        qDebug("json error!");
        return;
    }
    QJsonValue prb = doc.object().value("PRB");
    if (!prb.isObject()) return;  // no probe values
    QJsonObject values = prb.toObject();
    QString line;
    for (int i = 0; i < CNC_AXES; ++i) {
        float v = float(values.value(probe_keys[i]).toDouble(0));
        line += QString::asprintf(i ? ",%f" : "%f", double(v));
    }
    line += "\n";

    QFile file(results_file);
    bool is_new = !file.exists();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) return;
    if (is_new) file.write("PRBX,PRBY,PRBZ,PRBA,PRBB,PRBC,PRBU,PRBV,PRBW\n");
    file.write(line.toLatin1());
}

void machine_state_panel::cnc_axis_step(QObject* sender)
{
    if (!device_open || !sender) return;
    QString name = sender->objectName();
    QString axis = name.section('_', 2, 2);
    QString sign = name.section('_', 3, 3) == "sub" ? "-" : "";
    jog_axis(axis, sign, ctx.ui->cnc_axis_feed->text(), ctx.ui->cnc_axis_travel_length->text());
}

void machine_state_panel::jog_axis(const QString& axis, const QString& sign, const QString& feed,
                                   const QString& distance)
{
    bool ok = false;
    float d = distance.toFloat(&ok);
    if (!ok || !std::isfinite(d)) d = 0;
    d = std::clamp(d, -max_jog_mm, max_jog_mm);
    float move = sign.isEmpty() ? 0 + d : 0 - d;
    long long steps = static_cast<long long>(move);  // toward zero
    QByteArray line = ("G1 " + axis + QString::number(steps) + " F" + feed).toUtf8();
    logged_call(
        ctx, this, nullptr, line, [line](cnc::board& b) { return b.cnc_parser(line.constData()); }, {},
        result_line::without_stop);
}
