#include "toolpath_window.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "toolpath_view.h"

namespace {

QPushButton* small_button(const QString& text, QWidget* parent)
{
    auto* b = new QPushButton(text, parent);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

}  // namespace

QString extents_line(const gcode::check_report& r)
{
    QStringList parts;
    for (int i = 0; i < gcode::AXES; ++i)
        if (r.used[i])
            parts << QString("%1 %2 … %3").arg(QChar(gcode::AXIS_LETTERS[i])).arg(r.min[i], 0, 'f', 3).arg(r.max[i], 0, 'f', 3);
    if (parts.isEmpty()) return "no motion";
    // The engine works in millimetres and degrees whatever the program's units.
    return parts.join("   ") + "   mm / deg" + (r.inches ? "  (program in inches)" : "");
}

toolpath_window::toolpath_window(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(QString::fromUtf8("刀路预览"));
    setObjectName("toolpath_window");
    resize(820, 640);
    view_ = new toolpath_view(this);
    file_ = new QLabel(this);
    extents_ = new QLabel(this);
    time_ = new QLabel(this);
    for (QLabel* l : {file_, extents_, time_}) l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 1000);
    progress_->setTextVisible(false);
    progress_->setMaximumWidth(160);
    cancel_ = small_button(QString::fromUtf8("取消"), this);
    connect(cancel_, &QPushButton::clicked, this, &toolpath_window::cancel_requested);

    auto* bar = new QHBoxLayout;
    const std::pair<const char*, view_side> sides[] = {
        {"俯视", view_side::top}, {"前视", view_side::front}, {"侧视", view_side::side}, {"轴测", view_side::iso}};
    for (auto [label, side] : sides) {
        auto* b = small_button(QString::fromUtf8(label), this);
        connect(b, &QPushButton::clicked, this, [this, s = side] { view_->show_side(s); });
        bar->addWidget(b);
    }
    auto* fit = small_button(QString::fromUtf8("适合窗口"), this);
    connect(fit, &QPushButton::clicked, view_, &toolpath_view::fit);
    bar->addWidget(fit);
    bar->addStretch();
    bar->addWidget(progress_);
    bar->addWidget(cancel_);

    auto* box = new QVBoxLayout(this);
    box->setContentsMargins(6, 6, 6, 6);
    box->addLayout(bar);
    box->addWidget(view_, 1);
    box->addWidget(file_);
    box->addWidget(extents_);
    box->addWidget(time_);
    load_ended({});
}

void toolpath_window::loading(const QString& path)
{
    file_->setText(QString::fromUtf8("读取 %1 …").arg(QFileInfo(path).fileName()));
    progress_->setValue(0);
    progress_->show();
    cancel_->show();
}

void toolpath_window::set_progress(double share) { progress_->setValue(int(share * 1000)); }

void toolpath_window::loaded(toolpath_ptr d)
{
    data_ = d;
    view_->set_path(d);
    load_ended({});
    if (!d) return;
    const auto& m = d->model;
    QString detail = QString("%1: %2 lines, %3 segments").arg(QFileInfo(d->path).fileName()).arg(d->report.lines).arg(m.segments_in());
    if (m.simplified())
        detail += QString(", drawn as %1 (runs under %2 mm merged)").arg(m.vertices().size()).arg(m.tolerance(), 0, 'g', 3);
    if (!d->report.runnable())
        detail += QString::fromUtf8(", %1 lines cannot run").arg(d->report.unsupported_count + d->report.beyond_travel_count);
    file_->setText(detail);
    extents_->setText(extents_line(d->report));
}

void toolpath_window::load_ended(const QString& why)
{
    progress_->hide();
    cancel_->hide();
    if (!why.isEmpty()) file_->setText(why);
}

void toolpath_window::set_time_text(const QString& text) { time_->setText(text); }
QString toolpath_window::extents_text() const { return extents_->text(); }
QString toolpath_window::time_text() const { return time_->text(); }
