#include "board_settings.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cstring>
#include <vector>

#include "cnc_board.h"

namespace {

constexpr uint16_t result_capacity = 10240;

bool read_result(cnc::board& dev, QByteArray& out)
{
    std::vector<uint8_t> buf(result_capacity + 1, 0);
    uint16_t len = 0;
    if (dev.cnc_get_results(buf.data(), result_capacity, &len) != 0) return false;
    len = std::min(len, result_capacity);
    out = QByteArray(reinterpret_cast<const char*>(buf.data()), int(strnlen(reinterpret_cast<const char*>(buf.data()), len)));
    return true;
}

}  // namespace

bool settings_from_result(const QByteArray& text, gcode::machine_settings& out, QString* why)
{
    QJsonValue v = QJsonDocument::fromJson(text.trimmed()).object().value("settings");
    if (!v.isString()) {
        *why = "the board gave no settings";
        return false;
    }
    gcode::machine_settings next = gcode::machine_settings::defaults();
    std::string bad;
    if (!gcode::apply_settings(next, v.toString().toStdString(), &bad)) {
        *why = "the board's settings cannot be used: " + QString::fromStdString(bad);
        return false;
    }
    out = next;
    return true;
}

settings_reply ask_machine_settings(cnc::board& dev, bool open)
{
    settings_reply r;
    if (!open) return r;
    r.asked = true;
    read_result(dev, r.waiting);
    r.answered = dev.cnc_parser("$$") == 0 && read_result(dev, r.answer);
    return r;
}

machine_settings_source settings_from_reply(const settings_reply& reply)
{
    machine_settings_source s;
    if (!reply.asked) return s;
    if (!reply.answered) {
        s.why = "the board did not answer \"$$\"";
        return s;
    }
    s.from_board = settings_from_result(reply.answer, s.settings, &s.why);
    return s;
}
