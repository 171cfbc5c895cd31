// History of the command lines sent from the command line edit, newest
// first, at most 20; Up and Down step through it.
#pragma once

#include <QStringList>

class QLineEdit;

class cmd_history {
public:
    static constexpr int max_entries = 20;

    // Records a line (duplicates and empty lines too) and leaves the history
    // walk.
    void cmd_history_add(const QString& line);
    // One step older (up) or newer (down); shows the entry in edit, or empties
    // it past the newest. An empty history leaves edit untouched.
    void cmd_history_move(bool up, QLineEdit* edit);

    const QStringList& entries() const { return lines; }
    int index() const { return current; }

private:
    QStringList lines;
    int current = 0;  // -1: no entry shown
};
