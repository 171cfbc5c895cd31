#include "cmd_history.h"

#include <QLineEdit>

void cmd_history::cmd_history_add(const QString& line)
{
    lines.prepend(line);
    if (lines.size() > max_entries) lines.removeLast();
    current = -1;
}

void cmd_history::cmd_history_move(bool up, QLineEdit* edit)
{
    if (lines.isEmpty()) return;
    if (up) {
        if (current < lines.size() - 1) ++current;
    } else {
        current = current >= 1 ? current - 1 : -1;
    }
    if (current < 0)
        edit->clear();
    else
        edit->setText(lines.at(current));
}
