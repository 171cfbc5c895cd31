// The board peripherals driven from the window, checked on the simulated
// board: strip and LED sliders and fields, LED ranges, colour slots, buzzer,
// tool-change and dust outputs.
#include <QButtonGroup>
#include <QDir>
#include <QSlider>
#include <QTemporaryDir>

#include "console_fixture.h"
#include "peripheral_panel.h"
#include "ui_pelk_test.h"

class peripheral_panel_test : public console_fixture {
    Q_OBJECT
    QTemporaryDir work;
    QString home;

    void up()
    {
        QString why;
        QVERIFY2(start_board(board_config(), &why), qPrintable(why));
        open_window();
    }

    void enter(QLineEdit* edit, const QString& text)
    {
        edit->setText(text);
        QTest::keyClick(edit, Qt::Key_Return);
        settle();
    }

    bsim::peripherals board_outputs()
    {
        settle();
        return board()->peripheral_state();
    }

private slots:
    void init()
    {
        fixture_init();
        home = QDir::currentPath();
        QDir::setCurrent(work.path());
    }
    void cleanup()
    {
        fixture_cleanup();
        set_colour_chooser({});
        QDir::setCurrent(home);
    }

    void sliders_and_fields_reach_the_board()
    {
        up();
        // Nothing is sent or logged before a connection.
        ui()->rgb_slider_p->setValue(20);
        enter(ui()->rgb_value_fh, "5000");
        QVERIFY(log_entries().size() == 1 && board_outputs().rgb_progress == 0);
        QVERIFY(connect_board());
        clear_log();

        // The slider clamps to 0..100 and sends what it shows.
        enter(ui()->rgb_value_p, "150");
        QCOMPARE(ui()->rgb_slider_p->value(), 100);
        QCOMPARE(log_entries(), (QStringList{"MCU:set progress [p:100%]...", "success."}));
        QCOMPARE(board_outputs().rgb_progress, uint16_t(100));

        enter(ui()->rgb_value_fh, "30000");
        enter(ui()->rgb_value_bh, "65535");
        QCOMPARE(board_outputs().rgb_fh, uint16_t(30000));
        QCOMPARE(board_outputs().rgb_bh, uint16_t(65535));
        // The value the slider already holds sends nothing.
        clear_log();
        enter(ui()->rgb_value_fh, "30000");
        QVERIFY(log_entries().isEmpty());

        ui()->rgb_value_r->setText("10");
        ui()->rgb_value_g->setText("20");
        enter(ui()->rgb_value_b, "30");
        QCOMPARE(log_entries().mid(4), (QStringList{"MCU:set led rgb [r:10% g:20% b:30%]...", "success."}));
        const auto led = board_outputs().status_led;
        QCOMPARE(QList<int>({led[0], led[1], led[2]}), QList<int>({10, 20, 30}));

        ui()->buzzer_slider_duty->setValue(40);
        ui()->buzzer_edit_period->setText("5000");
        click(ui()->buzzer_btn_period);
        QVERIFY(log_text().contains("MCU:set buzzer duty 40%...") &&
                log_text().contains("MCU:set buzzer period 5000 us..."));
        QCOMPARE(board_outputs().buzzer_duty, uint8_t(40));
        QCOMPARE(board_outputs().buzzer_period, uint32_t(5000));
    }

    void led_ranges_stay_in_bounds()
    {
        up();
        QVERIFY(connect_board());
        auto set_range = [&](const QString& start, const QString& count, const QString& value) {
            clear_log();
            ui()->rgb_led_start->setText(start);
            ui()->rgb_led_num->setText(count);
            ui()->rgb_led_value->setText(value);
            click(ui()->rgb_led_set);
            return log_entries();
        };
        QCOMPARE(set_range("10", "5", "255"), (QStringList{"MCU:set rgb led 10 to 15 value 0xff...", "success."}));
        auto strip = board_outputs().strip;
        for (int i = 0; i < 48; ++i) QCOMPARE(strip[i], uint16_t(i >= 10 && i < 15 ? 255 : 0));

        QCOMPARE(set_range("0", "1", "70000"), (QStringList{"MCU:set rgb led 0 to 1 value 0x11170...", "success."}));
        QCOMPARE(board_outputs().strip[0], uint16_t(4464));

        // Past LED 47, empty, or longer than the strip: the library refuses.
        QCOMPARE(set_range("40", "9", "1"), (QStringList{"MCU:set rgb led 40 to 49 value 0x1...", "failed."}));
        QCOMPARE(set_range("0", "0", "1").last(), QString("failed."));
        QCOMPARE(set_range("0", "200", "1").last(), QString("failed."));
        // Numbers that do not fit a byte are refused before anything is sent.
        QCOMPARE(set_range("300", "1", "1"),
                 QStringList{"MCU:set rgb led 300 to 301 refused, start and count must be 0 to 255..."});
        QCOMPARE(set_range("0", "-1", "1").size(), 1);
        strip[0] = 4464;
        QCOMPARE(board_outputs().strip, strip);
    }

    void colour_slots_and_outputs()
    {
        up();
        QColor answer(255, 255, 255);
        QColor initial;
        set_colour_chooser([&](QWidget*, const QColor& start) {
            initial = start;
            return answer;
        });
        // Without a connection the word is still shown.
        click(ui()->rgb_select);
        QCOMPARE(ui()->rb_color_value->text(), QString("fbc7"));
        QCOMPARE(initial.rgba(), 0xFFFFFFFFu);
        QVERIFY(connect_board());

        click(ui()->rgb_select);
        QCOMPARE(board_outputs().colour_slots[0], uint16_t(64455));
        QCOMPARE(board_outputs().rgb_progress, uint16_t(100));
        QCOMPARE(board_outputs().rgb_fh, uint16_t(0xFBC7));

        window()->colour_group()->button(2)->setChecked(true);
        answer = QColor(255, 0, 0);
        click(ui()->rgb_select);
        QCOMPARE(board_outputs().colour_slots[2], uint16_t(63488));
        // A cancel changes nothing.
        answer = QColor();
        click(ui()->rgb_select);
        QCOMPARE(ui()->rb_color_value->text(), QString("f800"));
        QCOMPARE(board_outputs().rgb_fh, uint16_t(0xF800));

        clear_log();
        click(ui()->cnc_tool_get);
        window()->tool_change_type_group()->button(1)->setChecked(true);
        click(ui()->cnc_tool_get);
        click(ui()->cnc_tool_put);
        QCOMPARE(int(board_outputs().tool_switch[0]), 1);
        QCOMPARE(int(board_outputs().tool_switch[1]), 0);
        window()->tool_change_type_group()->button(2)->setChecked(true);
        click(ui()->cnc_tool_put);
        click(ui()->cnc_dust_on);
        QCOMPARE(log_entries().mid(6), (QStringList{"MCU:set output tool switch close...", "failed.",
                                                    "MCU:set output dust clear switch open...", "success."}));
        QCOMPARE(int(board_outputs().tool_switch[0]), 1);
        QCOMPARE(int(board_outputs().tool_switch[1]), 0);
        QCOMPARE(board_outputs().dust, uint8_t(1));
    }
};

CONSOLE_TEST_MAIN(peripheral_panel_test)
#include "peripheral_panel_test.moc"
