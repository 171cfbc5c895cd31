// The status bar's language control: a flat button naming the language in
// use, with a menu of both. Each language is named in its own script
// ("中文", "English") so that anyone finds theirs whatever is shown. A
// choice applies at once and is kept for the next start.
#pragma once

#include <QToolButton>

#include "language.h"

class QAction;
class QStatusBar;

class language_button : public QToolButton {
    Q_OBJECT
public:
    // Adds itself to bar as a permanent widget, no taller than the bar's text.
    explicit language_button(QStatusBar* bar);

    QAction* action_for(ui_language l) { return l == ui_language::english ? english_ : chinese_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void choose(ui_language l);
    void show_current();

    QAction* chinese_;
    QAction* english_;
};
