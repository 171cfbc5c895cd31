// The run-state and machine-state check boxes only show the board's state,
// so the window disables them; a disabled box draws its text and its tick in
// the disabled grey on the grey window, and a ticked one cannot be read at a
// glance. Ticked display boxes keep the window's normal text colour, tick
// included; unticked ones stay grey, which sets the states that hold apart.
#pragma once

namespace Ui {
class pelk_testClass;
}

void keep_ticked_boxes_readable(Ui::pelk_testClass* form);
