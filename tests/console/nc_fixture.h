// Ground shared by the NC job and machine state tests: each test runs in a
// fresh temporary working directory (numbered NC copies and "results.csv"
// land there), with the board's frames counted by command, and helpers to
// bring the board and window up, type command lines and run jobs.
#pragma once

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRegExp>
#include <QTemporaryDir>
#include <map>
#include <mutex>

#include "console_fixture.h"
#include "nc_job_panel.h"
#include "ui_pelk_test.h"

inline QString write_file(const QString& path, const QByteArray& content)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size() ? path : QString();
}

inline QByteArray read_file(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class nc_fixture : public console_fixture {
protected:
    QString work_file(const QString& name) const { return work->filePath(name); }

    void nc_init()
    {
        fixture_init();
        work = std::make_unique<QTemporaryDir>();
        QDir::setCurrent(work->path());
        std::lock_guard<std::mutex> g(frame_lock);
        frames.clear();
    }
    void nc_cleanup()
    {
        fixture_cleanup();
        nc_job_panel::set_file_chooser({});
        QDir::setCurrent(QDir::tempPath());
        work.reset();
    }

    // Board (executing at most line_rate lines a second, its motion
    // time_scale times faster than real time), window, connection, first poll.
    void bring_up(double line_rate = 50.0, double time_scale = 1.0)
    {
        bsim::config cfg = board_config();
        cfg.line_rate = line_rate;
        cfg.time_scale = time_scale;
        cfg.trace_sink = [this](const std::string& line) {  // on the board's threads
            auto at = line.find("<- #"), c = line.find("cmd=", at == std::string::npos ? line.size() : at);
            if (c == std::string::npos) return;
            std::lock_guard<std::mutex> g(frame_lock);
            ++frames[std::atoi(line.c_str() + c + 4)];
        };
        QString why;
        QVERIFY2(start_board(cfg, &why), qPrintable(why));
        open_window();
        QVERIFY(connect_board());
        // The first idle poll has made (or passed over) the resume offer.
        QVERIFY(wait_until([&] { return !window()->nc_job_part().resume_offer_pending(); }));
    }
    // Frames of command cmd the board has received.
    int frame_count(int cmd)
    {
        std::lock_guard<std::mutex> g(frame_lock);
        return frames[cmd];
    }
    void command(const QString& line)
    {
        ui()->cnc_input->setText(line);
        QTest::keyClick(ui()->cnc_input, Qt::Key_Return);
    }
    // Chooses path through the panel's file choice and starts it.
    void start_job(const QString& path, const QString& line = QString(), bool check = false)
    {
        nc_job_panel::set_file_chooser([path] { return path; });
        QTest::keyClick(ui()->cnc_file_path, Qt::Key_Return);
        ui()->cnc_continue_line->setText(line);
        ui()->cnc_file_check->setChecked(check);
        // As a technician would: once 加工 is offered again after a job.
        QVERIFY(wait_until([&] { return ui()->cnc_start->isEnabled(); }, 30000));
        click(ui()->cnc_start);
    }
    bool wait_job_done(uint32_t last_line, int timeout_ms = 20000)
    {
        return wait_until(
            [&] {
                auto m = board()->machine();
                return !m.job_active && m.run_line == last_line;
            },
            timeout_ms);
    }
    bool wait_for_text(QLineEdit* edit, const QString& text)
    {
        return wait_until([&] { return edit->text() == text; });
    }
    QString board_log() { return read_file(QString::fromStdString(board()->sd_path("cnc_log.txt"))); }
    // Jobs the board has started, from its own log.
    int board_job_starts() { return board_log().count(QRegExp("job \\S+ from line")); }

private:
    std::unique_ptr<QTemporaryDir> work;
    std::mutex frame_lock;
    std::map<int, int> frames;
};
