#include "toolpath_window.h"

#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "toolpath_view.h"

namespace {

QPushButton* small_button(QWidget* parent)
{
    auto* b = new QPushButton(parent);
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
    cancel_ = small_button(this);
    captions_.push_back({cancel_, QT_TR_NOOP("取消")});
    connect(cancel_, &QPushButton::clicked, this, &toolpath_window::cancel_requested);

    auto* bar = new QHBoxLayout;
    const std::pair<const char*, view_side> sides[] = {{QT_TR_NOOP("俯视"), view_side::top},
                                                       {QT_TR_NOOP("前视"), view_side::front},
                                                       {QT_TR_NOOP("侧视"), view_side::side},
                                                       {QT_TR_NOOP("轴测"), view_side::iso}};
    for (auto [label, side] : sides) {
        auto* b = small_button(this);
        captions_.push_back({b, label});
        connect(b, &QPushButton::clicked, this, [this, s = side] { view_->show_side(s); });
        bar->addWidget(b);
    }
    auto* fit = small_button(this);
    captions_.push_back({fit, QT_TR_NOOP("适合窗口")});
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
    retranslate();
    load_ended();
}

void toolpath_window::loading(const QString& path)
{
    show_file_line([name = QFileInfo(path).fileName()] { return tr("读取 %1 …").arg(name); });
    progress_->setValue(0);
    progress_->show();
    cancel_->show();
}

void toolpath_window::set_progress(double share) { progress_->setValue(int(share * 1000)); }

void toolpath_window::loaded(toolpath_ptr d)
{
    data_ = d;
    view_->set_path(d);
    load_ended();
    if (!d) return;
    const auto& m = d->model;
    QString detail = QString("%1: %2 lines, %3 segments").arg(QFileInfo(d->path).fileName()).arg(d->report.lines).arg(m.segments_in());
    if (m.simplified())
        detail += QString(", drawn as %1 (runs under %2 mm merged)").arg(m.vertices().size()).arg(m.tolerance(), 0, 'g', 3);
    if (!d->report.runnable())
        detail += QString(", %1 lines cannot run").arg(d->report.unsupported_count + d->report.beyond_travel_count);
    show_file_line([detail] { return detail; });
    extents_->setText(extents_line(d->report));
}

void toolpath_window::load_cancelled(const QString& path)
{
    load_ended();
    show_file_line([name = QFileInfo(path).fileName()] { return tr("已取消: %1").arg(name); });
}

void toolpath_window::load_failed(const QString& path)
{
    load_ended();
    show_file_line([path] { return tr("无法读取: %1").arg(path); });
}

void toolpath_window::load_ended()
{
    progress_->hide();
    cancel_->hide();
}

void toolpath_window::show_file_line(std::function<QString()> line)
{
    file_line_ = std::move(line);
    file_->setText(file_line_());
}

void toolpath_window::retranslate()
{
    setWindowTitle(tr("刀路预览"));
    for (auto& [button, caption] : captions_) button->setText(tr(caption));
    if (file_line_) file_->setText(file_line_());
}

void toolpath_window::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) retranslate();
    QWidget::changeEvent(event);
}

void toolpath_window::set_time_text(const QString& text) { time_->setText(text); }
QString toolpath_window::extents_text() const { return extents_->text(); }
QString toolpath_window::time_text() const { return time_->text(); }
