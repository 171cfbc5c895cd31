// The preview's own window (刀路预览): the view, buttons for the standard
// views and zoom-to-fit, the load's progress with a cancel button, and
// lines for the extents and units, the path's size and the job's time.
#pragma once

#include <QWidget>
#include <functional>
#include <utility>
#include <vector>

#include "toolpath_loader.h"

class QLabel;
class QProgressBar;
class QPushButton;
class toolpath_view;

class toolpath_window : public QWidget {
    Q_OBJECT
public:
    explicit toolpath_window(QWidget* parent = nullptr);

    toolpath_view* view() { return view_; }
    toolpath_ptr path() const { return data_; }
    // A load of path began: progress shown until loaded or cancelled.
    void loading(const QString& path);
    void set_progress(double share);
    void loaded(toolpath_ptr data);
    // The load of path ended without a toolpath.
    void load_cancelled(const QString& path);
    void load_failed(const QString& path);
    void set_time_text(const QString& text);
    QString extents_text() const;
    QString time_text() const;

signals:
    void cancel_requested();

protected:
    void changeEvent(QEvent* event) override;

private:
    void load_ended();
    // The file line, built again in the new language after a change.
    void show_file_line(std::function<QString()> line);
    void retranslate();

    toolpath_view* view_;
    QLabel* file_;
    QLabel* extents_;
    QLabel* time_;
    QProgressBar* progress_;
    QPushButton* cancel_;
    std::vector<std::pair<QPushButton*, const char*>> captions_;  // buttons by untranslated caption
    std::function<QString()> file_line_;
    toolpath_ptr data_;
};

// "X 0.000 … 120.500  Y …  Z …  mm" from the checked program's extents.
QString extents_line(const gcode::check_report& r);
