#include "language_button.h"

#include <QEvent>
#include <QMenu>
#include <QStatusBar>

language_button::language_button(QStatusBar* bar) : QToolButton(bar)
{
    setObjectName("language_button");
    // Kept to the bar's own height, as the preview's button: the form's
    // geometry stays as it is.
    setMaximumHeight(bar->fontMetrics().height() + 2);
    setAutoRaise(true);
    setFocusPolicy(Qt::NoFocus);
    setPopupMode(QToolButton::InstantPopup);
    setToolButtonStyle(Qt::ToolButtonTextOnly);

    auto* menu = new QMenu(this);
    // Names of the languages themselves: never translated.
    chinese_ = menu->addAction(QString::fromUtf8("中文"));
    english_ = menu->addAction("English");
    chinese_->setObjectName("language_zh");
    english_->setObjectName("language_en");
    for (QAction* a : {chinese_, english_}) a->setCheckable(true);
    connect(chinese_, &QAction::triggered, this, [this] { choose(ui_language::chinese); });
    connect(english_, &QAction::triggered, this, [this] { choose(ui_language::english); });
    setMenu(menu);

    bar->addPermanentWidget(this);
    show_current();
}

void language_button::choose(ui_language l)
{
    if (apply_language(l)) store_language(l);
    show_current();
}

void language_button::show_current()
{
    ui_language l = current_language();
    setText(action_for(l)->text());
    chinese_->setChecked(l == ui_language::chinese);
    english_->setChecked(l == ui_language::english);
    setToolTip(tr("界面语言"));
    setAccessibleName(tr("界面语言"));
}

void language_button::changeEvent(QEvent* event)
{
    // Also a change made elsewhere (a second window, a test).
    if (event->type() == QEvent::LanguageChange) show_current();
    QToolButton::changeEvent(event);
}
