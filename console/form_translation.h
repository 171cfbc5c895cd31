// The form's captions read again after a language change.
#pragma once

class QMainWindow;
namespace Ui {
class pelk_testClass;
}

// Re-reads every caption of the form in the language now installed. The
// form's line edits hold what the board reported or the technician typed,
// not captions: they keep their texts and signal nothing.
void retranslate_form(Ui::pelk_testClass& ui, QMainWindow* window);
