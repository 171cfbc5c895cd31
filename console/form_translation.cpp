#include "form_translation.h"

#include <QLineEdit>
#include <QMainWindow>
#include <QSignalBlocker>
#include <vector>

#include "ui_pelk_test.h"

void retranslate_form(Ui::pelk_testClass& ui, QMainWindow* window)
{
    struct kept {
        QLineEdit* edit;
        QString text;
        QSignalBlocker quiet;
    };
    std::vector<kept> edits;
    const auto all = ui.centralWidget->findChildren<QLineEdit*>();
    edits.reserve(size_t(all.size()));
    for (QLineEdit* e : all) edits.push_back({e, e->text(), QSignalBlocker(e)});
    ui.retranslateUi(window);
    for (kept& k : edits)
        if (k.edit->text() != k.text) k.edit->setText(k.text);
}
