// The question before a job whose program the machine cannot run as it is:
// the first lines with unsupported words or moves beyond the travel, each
// with its word, and OK or Cancel (Cancel the default).
#pragma once

#include <QString>

#include "gcode/check.h"

class QWidget;

// The listing shown in the question: up to shown lines, then how many more.
QString findings_text(const gcode::check_report& r, size_t shown);
// True when r is runnable or the technician chose OK.
bool confirm_program(QWidget* parent, const gcode::check_report& r, size_t shown = 10);
