// The preview's own window (刀路预览): the view, buttons for the standard
// views and zoom-to-fit, the load's progress with a cancel button, and
// lines for the extents and units, the path's size and the job's time.
#pragma once

#include <QWidget>

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
    void load_ended(const QString& why);
    void set_time_text(const QString& text);
    QString extents_text() const;
    QString time_text() const;

signals:
    void cancel_requested();

private:
    toolpath_view* view_;
    QLabel* file_;
    QLabel* extents_;
    QLabel* time_;
    QProgressBar* progress_;
    QPushButton* cancel_;
    toolpath_ptr data_;
};

// "X 0.000 … 120.500  Y …  Z …  mm" from the checked program's extents.
QString extents_line(const gcode::check_report& r);
