// Reads, checks and turns a program into a toolpath on a thread of its own,
// so a program of any size never holds up the window. One load at a time: a
// new one cancels the one under way. The result comes back as a signal
// queued to the loader's thread (the GUI thread).
#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <atomic>
#include <memory>
#include <string>

#include "gcode/check.h"
#include "gcode/line_times.h"
#include "toolpath_model.h"

class QThread;

// Everything one pass over a program yields.
struct toolpath_data {
    QString path;
    qint64 size = 0;
    QDateTime modified;
    std::string settings;  // the machine settings it was checked against, as text
    gcode::check_report report;
    gcode::line_times times;
    toolpath_model model;
    double seconds = 0;  // the load's own wall time

    explicit toolpath_data(size_t budget) : model(budget) {}
    // Still the file as it is on disk, checked against these settings.
    bool matches(const QString& path, const std::string& settings) const;
};

using toolpath_ptr = std::shared_ptr<const toolpath_data>;
Q_DECLARE_METATYPE(toolpath_ptr)

// Checks path against settings in one streaming pass: report, line times
// and model. cancel (may be null) ends it early at the next block of the
// file; bytes (may be null) counts what has been read.
std::shared_ptr<toolpath_data> load_toolpath(const QString& path, const gcode::machine_settings& settings,
                                             size_t budget, const std::atomic<bool>* cancel = nullptr,
                                             std::atomic<uint64_t>* bytes = nullptr);

class toolpath_loader : public QObject {
    Q_OBJECT
public:
    explicit toolpath_loader(QObject* parent = nullptr);
    ~toolpath_loader() override;  // cancels and waits for a load under way

    void load(const QString& path, const gcode::machine_settings& settings);
    void cancel();
    bool busy() const { return thread_ != nullptr; }
    // Share of the file read so far (0 to 1) by the load under way.
    double progress() const;
    void set_budget(size_t vertices) { budget_ = vertices; }

signals:
    void loaded(toolpath_ptr data);
    void cancelled(QString path);
    void failed(QString path);  // the file could not be opened

private:
    void stop_thread();

    QThread* thread_ = nullptr;
    std::shared_ptr<std::atomic<bool>> cancel_;
    std::shared_ptr<std::atomic<uint64_t>> bytes_;
    qint64 total_ = 0;
    quint64 serial_ = 0;  // results of an earlier load are dropped
    size_t budget_ = toolpath_model::default_budget;
};
