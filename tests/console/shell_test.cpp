// The window's shell: the message log, the command-line history and the
// form's accessible names.
#include <QComboBox>
#include <QLineEdit>
#include <QSlider>
#include <QTextEdit>

#include "console_fixture.h"
#include "ui_pelk_test.h"

class shell_test : public console_fixture {
    Q_OBJECT
private slots:
    void init()
    {
        fixture_init();
        QVERIFY(start_board(board_config()));
        open_window();
        clear_log();
    }
    void cleanup() { fixture_cleanup(); }

    void log_lines_take_four_shapes_and_are_cut_at_4095_bytes()
    {
        message_log& log = window()->messages();
        QCOMPARE(log.log_message(nullptr, nullptr, "plain %d", 1), 1);
        log.log_message("CNC", nullptr, "tagged");
        log.log_message(nullptr, "sub", "only sub");
        log.log_message("SF", "sub", "both");
        log.log_message(nullptr, nullptr, "<b>not markup</b> 中文");
        QCOMPARE(log_entries(), (QStringList{"plain 1", "CNC:tagged", "sub#only sub", "SF:sub#both",
                                             "<b>not markup</b> 中文"}));
        QRegularExpression stamp("^\\[\\d\\d:\\d\\d:\\d\\d\\]plain 1$");
        QVERIFY(stamp.match(log_text().split('\n').first()).hasMatch());

        clear_log();
        std::string big(5000, 'x');
        log.log_message("MCU", nullptr, "%s", big.c_str());
        QCOMPARE(log_entries(), QStringList{"MCU:" + QString(4095, 'x')});
    }

    void log_is_emptied_past_400_lines()
    {
        message_log& log = window()->messages();
        QTextEdit* view = ui()->debug_edit;
        int n = 0;
        while (view->document()->blockCount() <= message_log::max_lines) log.log_message(nullptr, nullptr, "n=%d", ++n);
        QCOMPARE(log_entries().first(), QString("n=1"));
        log.log_message(nullptr, nullptr, "n=%d", ++n);
        QCOMPARE(log_entries(), QStringList{QString("n=%1").arg(n)});
    }

    void up_and_down_walk_the_command_history()
    {
        QLineEdit* input = ui()->cnc_input;
        input->setText("typed");
        QTest::keyClick(input, Qt::Key_Up);  // nothing recorded yet
        QCOMPARE(input->text(), QString("typed"));

        for (const char* c : {"a", "b", "c"}) window()->command_history().cmd_history_add(c);
        QStringList shown;
        for (int i = 0; i < 4; ++i) {
            QTest::keyClick(input, Qt::Key_Up);
            shown << input->text();
        }
        QCOMPARE(shown, (QStringList{"c", "b", "a", "a"}));
        QTest::keyClick(input, Qt::Key_Down);
        QCOMPARE(input->text(), QString("b"));
        QTest::keyClick(input, Qt::Key_Down);
        QTest::keyClick(input, Qt::Key_Down);  // past the newest: empty
        QCOMPARE(input->text(), QString());

        for (int i = 0; i < 20; ++i) window()->command_history().cmd_history_add(QString("cmd%1").arg(i));
        QCOMPARE(window()->command_history().entries().size(), cmd_history::max_entries);
        QCOMPARE(window()->command_history().entries().last(), QString("cmd0"));  // a, b and c pushed out
        for (int i = 0; i < 25; ++i) QTest::keyClick(input, Qt::Key_Up);
        QCOMPARE(input->text(), QString("cmd0"));
    }

    // Screen readers and UI automation find every control without a caption
    // by the label beside it.
    void controls_without_caption_have_accessible_names()
    {
        QStringList missing;
        for (QWidget* w : window()->findChildren<QWidget*>()) {
            bool captionless = qobject_cast<QLineEdit*>(w) || qobject_cast<QSlider*>(w) ||
                               qobject_cast<QComboBox*>(w) || w == ui()->debug_edit;
            if (captionless && w->parent() != ui()->cbox_eth_dev && w->parent() != ui()->cnc_machine_type &&
                w->accessibleName().isEmpty())
                missing << w->objectName();
        }
        QCOMPARE(missing, QStringList{});
        QCOMPARE(ui()->cnc_axis_y_wpos->accessibleName(), QString("工作位置(mm) Y"));
    }
};

CONSOLE_TEST_MAIN(shell_test)
#include "shell_test.moc"
