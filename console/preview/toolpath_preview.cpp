#include "toolpath_preview.h"

#include <QCheckBox>
#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QToolButton>

#include "board_worker.h"
#include "message_log.h"
#include "start_check.h"
#include "toolpath_view.h"
#include "toolpath_window.h"
#include "ui_pelk_test.h"

namespace {

constexpr int settle_ms = 200;
constexpr int progress_ms = 100;
constexpr int tick_ms = 250;  // also how soon a lost connection is noticed

double number(const QLineEdit* e) { return e->text().toDouble(); }

}  // namespace

toolpath_preview::toolpath_preview(const console_context& c, QStatusBar* bar) : QObject(c.window), ctx(c)
{
    wall_.start();
    win_ = new toolpath_window(ctx.window);
    connect(win_, &toolpath_window::cancel_requested, &loader_, &toolpath_loader::cancel);
    connect(&loader_, &toolpath_loader::loaded, this, &toolpath_preview::adopt);
    connect(&loader_, &toolpath_loader::cancelled, this, [this](const QString& path) {
        progress_.stop();
        win_->load_cancelled(path);
    });
    connect(&loader_, &toolpath_loader::failed, this, [this](const QString& path) {
        progress_.stop();
        win_->load_failed(path);
    });

    // Kept to the bar's own height: the form's geometry stays as it is.
    int h = bar->fontMetrics().height() + 2;
    button_ = new QToolButton(bar);
    button_->setObjectName("preview_button");
    button_->setAutoRaise(true);
    button_->setMaximumHeight(h);
    button_->setFocusPolicy(Qt::NoFocus);
    time_ = new QLabel(bar);
    time_->setObjectName("job_time");
    time_->setMaximumHeight(h);
    bar->addPermanentWidget(time_);
    bar->addPermanentWidget(button_);
    connect(button_, &QToolButton::clicked, this, &toolpath_preview::open_window);
    retranslate();

    settle_.setSingleShot(true);
    settle_.setInterval(settle_ms);
    connect(&settle_, &QTimer::timeout, this, &toolpath_preview::path_changed);
    connect(ctx.ui->cnc_file_path, &QLineEdit::textChanged, &settle_, qOverload<>(&QTimer::start));

    progress_.setInterval(progress_ms);
    connect(&progress_, &QTimer::timeout, this, [this] { win_->set_progress(loader_.progress()); });

    // The poll fills the form; one look after it has filled all of it.
    seen_.setSingleShot(true);
    seen_.setInterval(0);
    connect(&seen_, &QTimer::timeout, this, &toolpath_preview::poll_seen);
    auto* u = ctx.ui;
    for (QLineEdit* e : {u->cnc_line_number, u->cnc_axis_x_mpos, u->cnc_axis_y_mpos, u->cnc_axis_z_mpos})
        connect(e, &QLineEdit::textChanged, &seen_, qOverload<>(&QTimer::start));
    connect(u->cnc_run_state_nc, &QCheckBox::toggled, &seen_, qOverload<>(&QTimer::start));
    tick_.setInterval(tick_ms);
    connect(&tick_, &QTimer::timeout, this, [this] {
        // A job's end is only seen on the connection it ran on.
        if (!device_open || connection_ != seen_connection_) {
            clock_.abandon();
            tick_.stop();
        }
        show_time();
    });
}

toolpath_preview::~toolpath_preview() { loader_.cancel(); }

bool toolpath_preview::event(QEvent* e)
{
    // The window hands a language change on to its children, this one included.
    if (e->type() == QEvent::LanguageChange) retranslate();
    return QObject::event(e);
}

void toolpath_preview::retranslate()
{
    button_->setText(tr("刀路预览"));
    show_time();
}

void toolpath_preview::open_window()
{
    win_->show();
    win_->raise();
}

void toolpath_preview::path_changed()
{
    QString path = ctx.ui->cnc_file_path->text();
    if (path.isEmpty() || !QFileInfo(path).isFile()) return;
    with_settings([this, path] {
        if (ctx.ui->cnc_file_path->text() != path) return;  // typed on meanwhile: its own turn comes
        open_window();
        if (current_ && current_->matches(path, gcode::settings_text(settings_.settings))) return;
        begin_load(path);
    });
}

void toolpath_preview::with_settings(std::function<void()> then)
{
    const bool open = device_open;
    ctx.worker->call<settings_reply>(
        this, [open](cnc::board& b) { return ask_machine_settings(b, open); },
        [this, then](settings_reply reply) {
            if (!reply.waiting.isEmpty()) emit results_found(reply.waiting);
            settings_ = settings_from_reply(reply);
            then();
        });
}

void toolpath_preview::begin_load(const QString& path)
{
    win_->loading(path);
    loader_.load(path, settings_.settings);
    progress_.start();
}

void toolpath_preview::adopt(toolpath_ptr d)
{
    progress_.stop();
    current_ = d;
    win_->loaded(d);
    if (clock_.state() != job_clock::phase::running) clock_.set_plan(d);
    show_time();
}

void toolpath_preview::before_start(const QString& path, int start_line, std::function<void(bool)> go)
{
    with_settings([this, path, start_line, go] { go(check_and_arm(path, start_line)); });
}

bool toolpath_preview::check_and_arm(const QString& path, int start_line)
{
    std::string text = gcode::settings_text(settings_.settings);
    toolpath_ptr d = current_;
    if (!d || !d->matches(path, text)) {
        // Not loaded yet (or against other settings): checked here and now.
        loader_.cancel();
        d = load_toolpath(path, settings_.settings, toolpath_model::default_budget);
        if (!d) return true;  // unreadable: the job's own open reports it
        adopt(d);
    }
    if (!confirm_program(ctx.window, d->report)) {
        ctx.log->log_message("CNC", nullptr, "nc process cancelled, %llu lines cannot run.",
                             (unsigned long long)(d->report.unsupported_count + d->report.beyond_travel_count));
        return false;
    }
    clock_.set_plan(d);
    clock_.arm(uint64_t(std::max(0, start_line)));
    show_time();
    return true;
}

void toolpath_preview::poll_seen()
{
    auto* u = ctx.ui;
    // A job's end is only seen on the connection it ran on: a poll from a
    // newer one (a reset and reconnect between two ticks) abandons it.
    if (connection_ != seen_connection_) {
        seen_connection_ = connection_;
        if (clock_.state() == job_clock::phase::running) {
            clock_.abandon();
            tick_.stop();
        }
    }
    uint64_t line = u->cnc_line_number->text().toULongLong();
    win_->view()->set_tool(QVector3D(float(number(u->cnc_axis_x_mpos)), float(number(u->cnc_axis_y_mpos)),
                                     float(number(u->cnc_axis_z_mpos))));
    bool running = u->cnc_run_state_nc->isChecked();
    // The executed part: the lines before the one under way, all once it is over.
    if (clock_.state() == job_clock::phase::running || running) win_->view()->set_executing_line(running ? line : line + 1);
    if (clock_.poll(running, line, now())) {
        tick_.stop();
        ctx.log->log_message("CNC", nullptr, "nc job time %s, estimated %s.", qPrintable(format_duration(clock_.actual())),
                             qPrintable(format_duration(clock_.estimate())));
    } else if (clock_.state() == job_clock::phase::running && !tick_.isActive()) {
        tick_.start();
    }
    show_time();
}

void toolpath_preview::show_time()
{
    QString t = clock_.text(now());
    time_->setText(t);
    win_->set_time_text(t);
}
