#include "field_hints.h"

#include <QCoreApplication>

#include "ui_pelk_test.h"

namespace {

void hint(QWidget* w, const QString& name, const QString& tip)
{
    w->setAccessibleName(name);
    w->setToolTip(tip);
}

}  // namespace

// Every text is written out in a translate() call of its own so that
// lupdate finds it.
void add_field_hints(Ui::pelk_testClass* u)
{
    const char axes[] = "XYZABCUVW";  // the order of the fields in their rows
    QLineEdit* wpos[] = {u->cnc_axis_x_wpos, u->cnc_axis_y_wpos, u->cnc_axis_z_wpos,
                         u->cnc_axis_a_wpos, u->cnc_axis_b_wpos, u->cnc_axis_c_wpos,
                         u->cnc_axis_u_wpos, u->cnc_axis_v_wpos, u->cnc_axis_w_wpos};
    QLineEdit* mpos[] = {u->cnc_axis_x_mpos, u->cnc_axis_y_mpos, u->cnc_axis_z_mpos,
                         u->cnc_axis_a_mpos, u->cnc_axis_b_mpos, u->cnc_axis_c_mpos,
                         u->cnc_axis_u_mpos, u->cnc_axis_v_mpos, u->cnc_axis_w_mpos};
    for (int i = 0; i < 9; ++i) {
        const QString axis(QChar(axes[i]));
        // Names read as the row label then the axis, the way the grid is read.
        hint(wpos[i], QCoreApplication::translate("field_hints", "工作位置(mm) %1").arg(axis),
             QCoreApplication::translate("field_hints", "%1 轴工作位置 (mm)，工件坐标系").arg(axis));
        hint(mpos[i], QCoreApplication::translate("field_hints", "机器位置(mm) %1").arg(axis),
             QCoreApplication::translate("field_hints", "%1 轴机器位置 (mm)，机床坐标系").arg(axis));
    }

    QLineEdit* speed[] = {u->cnc_state_spd0, u->cnc_state_spd1};
    QLineEdit* tool[] = {u->cnc_state_tool0, u->cnc_state_tool1};
    for (int i = 0; i < 2; ++i) {
        hint(speed[i], QCoreApplication::translate("field_hints", "主轴转速 %1").arg(i),
             QCoreApplication::translate("field_hints", "主轴%1 转速 (rpm)").arg(i));
        hint(tool[i], QCoreApplication::translate("field_hints", "工具号 %1").arg(i),
             QCoreApplication::translate("field_hints", "刀具号 %1").arg(i));
    }

    // An empty start line runs the program from its first line.
    hint(u->cnc_continue_line, QCoreApplication::translate("field_hints", "起始行号"),
         QCoreApplication::translate("field_hints", "起始行号：NC 程序从这一行开始执行，空白则从头开始"));
    u->cnc_continue_line->setPlaceholderText(QCoreApplication::translate("field_hints", "空白 = 从头开始"));
    hint(u->cnc_update_bar, QCoreApplication::translate("field_hints", "执行行号进度"),
         QCoreApplication::translate("field_hints", "执行行号进度：正在执行的行 / 程序总行数"));
    hint(u->cnc_nc_download, QCoreApplication::translate("field_hints", "NC文件下载进度"),
         QCoreApplication::translate("field_hints", "NC文件下载进度：已下载到控制板的字节 / 文件大小"));

    // Fields whose caption is only a unit or an abbreviation: the name says
    // what the field holds, so a screen reader does not read "mm" alone.
    hint(u->cnc_axis_feed, QCoreApplication::translate("field_hints", "点动速度 (mm/min)"),
         QCoreApplication::translate("field_hints", "点动速度 (mm/min)：X+ … W- 按钮以此进给速度移动"));
    hint(u->cnc_axis_travel_length, QCoreApplication::translate("field_hints", "点动距离 (mm)"),
         QCoreApplication::translate("field_hints", "点动距离 (mm)：X+ … W- 按钮每按一次移动的距离"));
    hint(u->ar_start_id, QCoreApplication::translate("field_hints", "换料起始料位 (SP)"),
         QCoreApplication::translate("field_hints", "换料起始料位 (SP)：换料器从这个料位开始"));
    hint(u->ar_stop_id, QCoreApplication::translate("field_hints", "换料结束料位 (EP)"),
         QCoreApplication::translate("field_hints", "换料结束料位 (EP)：换料器换到这个料位"));
    hint(u->buzzer_edit_period, QCoreApplication::translate("field_hints", "BUZZER 周期 (µs)"),
         QCoreApplication::translate("field_hints", "BUZZER 周期 (µs)：1000 到 100000"));
    hint(u->cnc_machine_id, QCoreApplication::translate("field_hints", "机器ID"),
         QCoreApplication::translate("field_hints", "机器ID：最多 16 个字符，按“写入”存到控制板"));
    hint(u->rgb_led_start, QCoreApplication::translate("field_hints", "LED起始 (0-47)"),
         QCoreApplication::translate("field_hints", "LED起始 (0-47)：要设置的第一个 LED"));
    hint(u->rgb_led_num, QCoreApplication::translate("field_hints", "LED个数 (0-47)"),
         QCoreApplication::translate("field_hints", "LED个数 (0-47)：从起始 LED 开始设置的个数"));
    hint(u->rgb_led_value, QCoreApplication::translate("field_hints", "LED值 (0-0xFFFF)"),
         QCoreApplication::translate("field_hints", "LED值 (0-0xFFFF)：每个 LED 的 16 位值，十进制"));
}
