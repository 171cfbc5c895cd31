// Names the form's display fields: the position, spindle, tool, start-line
// and progress fields carry no caption of their own, only a row label or
// none, so each gets a tooltip and an accessible name that say what it shows
// (with its axis or spindle number). Texts are in the console's language,
// in the translation context "field_hints".
#pragma once

namespace Ui {
class pelk_testClass;
}

void add_field_hints(Ui::pelk_testClass* form);
