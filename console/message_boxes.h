// The console's two modal message boxes.
//
// Test seam: set_box_responder() installs a function that answers every box
// instead of showing it (return QMessageBox::Ok or QMessageBox::Cancel); it
// receives the box kind, the text and the informative text. Passing an empty
// function restores the real boxes. Only tests install a responder.
#pragma once

#include <QString>
#include <functional>

class QWidget;

enum class box_kind { confirm, info };

using box_responder = std::function<int(box_kind kind, const QString& text, const QString& informative)>;
void set_box_responder(box_responder responder);

// OK and Cancel, Cancel the default. Returns the standard-button code of the
// button pressed (QMessageBox::Ok 0x400, QMessageBox::Cancel 0x400000).
int confirm_box(QWidget* parent, const char* text, const char* informative);
// Only OK, the default. Returns QMessageBox::Ok.
int info_box(QWidget* parent, const char* text, const char* informative);
