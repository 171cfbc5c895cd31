#include "start_check.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QStringList>

#include "message_boxes.h"

namespace {

void list(QStringList& out, const QString& heading, const std::vector<gcode::finding>& f, uint64_t count, size_t shown)
{
    if (count == 0) return;
    out << heading.arg(count);
    for (size_t i = 0; i < f.size() && i < shown; ++i)
        out << QString("  line %1: %2%3%4")
                   .arg(f[i].line)
                   .arg(QString::fromStdString(f[i].word), f[i].word.empty() ? "" : ": ",
                        QString::fromStdString(f[i].text));
    if (count > std::min(f.size(), shown)) out << QString("  … %1 more").arg(count - std::min(f.size(), shown));
}

}  // namespace

QString findings_text(const gcode::check_report& r, size_t shown)
{
    QStringList out;
    if (r.not_text) out << QCoreApplication::translate("start_check", "文件不是文本 (not a text file)");
    list(out, QCoreApplication::translate("start_check", "不支持的行 (cannot run): %1"), r.unsupported,
         r.unsupported_count, shown);
    list(out, QCoreApplication::translate("start_check", "超出行程 (beyond the travel): %1"), r.beyond_travel,
         r.beyond_travel_count, shown);
    return out.join('\n');
}

bool confirm_program(QWidget* parent, const gcode::check_report& r, size_t shown)
{
    if (r.runnable()) return true;
    QByteArray text = QCoreApplication::translate("start_check", "程序中有机器不能执行的行，仍然开始加工?").toLocal8Bit();
    QByteArray details = findings_text(r, shown).toLocal8Bit();
    return confirm_box(parent, text.constData(), details.constData()) == QMessageBox::Ok;
}
