#include "machine_state_panel.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProgressBar>
#include <QtDebug>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "message_boxes.h"
#include "message_log.h"
#include "ui_pelk_test.h"

namespace {

constexpr int run_state_bits = 11;
constexpr float max_jog_mm = 1e9f;  // keeps the integer move defined for any typed distance
const char* const results_file = "results.csv";
const char* const probe_keys[CNC_AXES] = {"PRBX", "PRBY", "PRBZ", "PRBA", "PRBB", "PRBC", "PRBU", "PRBV", "PRBW"};

int bar_value(uint32_t v, const QProgressBar* bar) { return int(std::min<uint32_t>(v, uint32_t(bar->maximum()))); }

}  // namespace

machine_state_panel::machine_state_panel(console_context& ctx) : ctx(ctx) {}

void machine_state_panel::cnc_timer_update_state()
{
    if (!device_open) {
        shown_alarm = 0;  // a new connection shows a standing alarm once more
        return;
    }
    // A standing alarm is shown once more to each new connection.
    if (ctx.newly_connected && !connection_seen) shown_alarm = 0;
    connection_seen = ctx.newly_connected;
    std::memset(&status, 0, sizeof status);
    if (ctx.board.cnc_get_status(&status) != 0) return;
    // This poll works on its own copy: a poll that falls due while one of
    // its boxes is open runs whole and refills the member.
    const cnc_status now = status;
    show_status(now);

    // Polls keep running while a modal box of an earlier poll is open (the
    // box runs the event loop); they update the display but open no box
    // of their own on top of it.
    if (now.alarm_code == 0)
        shown_alarm = 0;
    else if (!box_open)
        raise_alarm(now.alarm_code);
    if (!device_open) return;  // the link went while the box was open

    uint32_t bytes = std::min(now.download_bytes, ctx.nc_file_size);
    ctx.ui->cnc_nc_download->setValue(bar_value(bytes, ctx.ui->cnc_nc_download));

    if (now.run_state == 0 && ctx.nc_job && !box_open) {
        char name[CNC_JOB_NAME_LEN + 1] = {};
        std::memcpy(name, now.job_name, CNC_JOB_NAME_LEN);  // the record's name need not end in a zero
        box_open = true;  // the resume question may be asked
        ctx.nc_job->offer_resume(name, now.run_line, now.resume_pending);
        box_open = false;
        if (!device_open) return;
    }
    read_results();
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
        if (QAbstractButton* b = ctx.grp_run_state->button(bit)) b->setChecked(s.run_state & (1u << bit));
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

void machine_state_panel::read_results()
{
    // Read aside with room for the terminating zero, so the shared buffer
    // always holds whole, terminated text: a failed read leaves the previous
    // text, a short one is not followed by the rest of a longer old one.
    uint16_t len = 0;
    auto* buf = reinterpret_cast<uint8_t*>(scratch.data());
    if (ctx.board.cnc_get_results(buf, uint16_t(scratch.size() - 1), &len) != 0) return;
    if (len == 0) return;  // nothing new since the last read
    len = std::min<uint16_t>(len, uint16_t(scratch.size() - 1));
    std::memcpy(ctx.results_buffer, scratch.data(), len);
    ctx.results_buffer[len] = '\0';
    ctx.log->log_message(nullptr, nullptr, "get results.\n%s", ctx.results_buffer);
    store_probe_results(ctx.results_buffer);
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
    ctx.log->log_message(nullptr, nullptr, "%s", line.constData());
    int rc = ctx.board.cnc_parser(line.constData());
    ctx.log->log_message(nullptr, nullptr, "%s", rc != 0 ? "failed" : "success");
}
