#include "message_boxes.h"

#include <QMessageBox>

namespace {

box_responder& responder()
{
    static box_responder r;
    return r;
}

int show_box(QWidget* parent, box_kind kind, const char* text, const char* informative)
{
    // The texts come in the local 8-bit code page.
    QString t = QString::fromLocal8Bit(text), i = QString::fromLocal8Bit(informative);
    if (responder()) return responder()(kind, t, i);
    QMessageBox box(parent);
    box.setText(t);
    box.setInformativeText(i);
    if (kind == box_kind::confirm) {
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Cancel);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
    }
    return box.exec();
}

}  // namespace

void set_box_responder(box_responder r) { responder() = std::move(r); }

int confirm_box(QWidget* parent, const char* text, const char* informative)
{
    return show_box(parent, box_kind::confirm, text, informative);
}

int info_box(QWidget* parent, const char* text, const char* informative)
{
    return show_box(parent, box_kind::info, text, informative);
}
