#include "display_boxes.h"

#include <QCheckBox>

#include "ui_pelk_test.h"

void keep_ticked_boxes_readable(Ui::pelk_testClass* u)
{
    // A style sheet rather than a palette: the colour must follow the tick,
    // and a style sheet's :checked is evaluated whenever the box is drawn.
    for (QCheckBox* b : {u->cnc_run_state_idle, u->cnc_run_state_parser, u->cnc_run_state_nc, u->cnc_run_state_conc,
                         u->cnc_run_state_pause, u->cnc_run_state_home, u->cnc_run_state_tool, u->cnc_run_state_probe,
                         u->cnc_run_state_move, u->cnc_run_state_spd, u->cnc_run_state_sw, u->cnc_run_state_ar,
                         u->cnc_state_pressure, u->cnc_state_door, u->cnc_state_dust, u->cnc_state_drawer,
                         u->cnc_state_cool0, u->cnc_state_cool1}) {
        const QColor text = b->palette().color(QPalette::Active, QPalette::WindowText);
        b->setStyleSheet(QString("QCheckBox:disabled:checked{color:%1}").arg(text.name()));
    }
}
