// The English console: with the English translation no caption of the
// window, the preview window or the status bar's widgets is left in Chinese,
// whether English was chosen before the window opened (--lang en) or while
// it is open; switching back gives every caption again exactly; captions that
// follow the connection and the fields' contents survive a switch; the
// language control leaves the form's geometry alone; and the choice is kept
// in the settings, while --lang wins for one run without being kept.
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>

#include "console_fixture.h"
#include "language.h"
#include "language_button.h"
#include "toolpath_preview.h"
#include "toolpath_window.h"
#include "ui_pelk_test.h"

namespace {

bool has_cjk(const QString& s)
{
    for (QChar c : s) {
        ushort u = c.unicode();
        if ((u >= 0x3000 && u <= 0x303f) || (u >= 0x3400 && u <= 0x9fff) || (u >= 0xf900 && u <= 0xfaff) ||
            (u >= 0xff00 && u <= 0xffef))
            return true;
    }
    return false;
}

// "groupBox_2/QPushButton": the object's name, else its class under its
// nearest named ancestor.
QString describe(const QObject* o)
{
    if (!o->objectName().isEmpty()) return o->objectName();
    QString name = o->metaObject()->className();
    for (const QObject* p = o->parent(); p; p = p->parent())
        if (!p->objectName().isEmpty()) return p->objectName() + "/" + name;
    return name;
}

// Every caption a person can see or hear, as "who.what: text". Field
// contents (line edits, the message log) are data, not captions.
QStringList captions(QWidget* top)
{
    QStringList out;
    auto add = [&](const QObject* o, const char* what, const QString& text) {
        if (!text.isEmpty()) out << describe(o) + "." + what + ": " + text;
    };
    QList<QWidget*> widgets = top->findChildren<QWidget*>();
    widgets.prepend(top);
    for (QWidget* w : widgets) {
        if (w->isWindow()) add(w, "windowTitle", w->windowTitle());
        add(w, "toolTip", w->toolTip());
        add(w, "statusTip", w->statusTip());
        add(w, "whatsThis", w->whatsThis());
        add(w, "accessibleName", w->accessibleName());
        add(w, "accessibleDescription", w->accessibleDescription());
        if (auto* b = qobject_cast<QAbstractButton*>(w)) add(w, "text", b->text());
        if (auto* g = qobject_cast<QGroupBox*>(w)) add(w, "title", g->title());
        if (auto* l = qobject_cast<QLabel*>(w)) add(w, "text", l->text());
        if (auto* e = qobject_cast<QLineEdit*>(w)) add(w, "placeholderText", e->placeholderText());
        if (auto* c = qobject_cast<QComboBox*>(w))
            for (int i = 0; i < c->count(); ++i) add(w, "item", c->itemText(i));
    }
    for (QAction* a : top->findChildren<QAction*>()) {
        add(a, "text", a->text());
        add(a, "toolTip", a->toolTip() == a->text() ? QString() : a->toolTip());
    }
    return out;
}

// The captions still in Chinese. The language menu names Chinese in its
// own script on purpose, so that a Chinese reader finds it in English.
QStringList chinese_captions(QWidget* top)
{
    QStringList left;
    for (const QString& c : captions(top))
        if (has_cjk(c) && !c.startsWith("language_zh.text:")) left << c;
    return left;
}

}  // namespace

class language_test : public console_fixture {
    Q_OBJECT
    QTemporaryDir settings_dir;

    language_button* control() { return window()->findChild<language_button*>(); }
    toolpath_preview* preview() { return window()->preview(); }
    // As a technician picks it from the status bar; widgets hear of it once
    // the posted change events have run.
    void pick(ui_language l)
    {
        control()->action_for(l)->trigger();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
        QCoreApplication::processEvents();
    }
    // The preview window with a program loaded: its file line and the
    // status bar's time have something to say.
    void load_program()
    {
        QString path = settings_dir.filePath("square.nc");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("G21 G90\nG1 X10 F600\nG1 Y10\nG1 X0\nG1 Y0\n");
        f.close();
        ui()->cnc_file_path->setText(path);
        QVERIFY(wait_until([&] { return preview()->current() && preview()->current()->path == path; }));
        QVERIFY(!preview()->time_label()->text().isEmpty());
    }

private slots:
    void initTestCase()
    {
        // Never the technician's own settings.
        QVERIFY(settings_dir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings_dir.path());
    }
    void init()
    {
        fixture_init();
        QSettings("cnc-tools", "pelk_test").clear();
        QVERIFY(start_board(board_config()));
    }
    void cleanup()
    {
        fixture_cleanup();
        apply_language(ui_language::chinese);
    }

    void english_chosen_at_start_leaves_no_chinese_caption()
    {
        QVERIFY(apply_startup_language({"pelk_test", "--lang", "en"}, "pelk_test"));
        open_window();
        load_program();
        preview()->open_window();
        QStringList left = chinese_captions(window());
        QVERIFY2(left.isEmpty(), qPrintable("still in Chinese:\n" + left.join('\n')));
        QCOMPARE(control()->text(), control()->action_for(ui_language::english)->text());
    }

    void a_switch_while_open_changes_every_caption_and_back_again()
    {
        open_window();
        load_program();
        QStringList chinese = captions(window());
        QVERIFY(!chinese_captions(window()).isEmpty());

        pick(ui_language::english);
        QStringList left = chinese_captions(window());
        QVERIFY2(left.isEmpty(), qPrintable("still in Chinese:\n" + left.join('\n')));
        QVERIFY(captions(window()) != chinese);

        pick(ui_language::chinese);
        QCOMPARE(captions(window()), chinese);
    }

    void the_connect_button_follows_the_connection_across_switches()
    {
        open_window();
        QVERIFY(connect_board());
        QCOMPARE(ui()->btn_eth_connect->text(), QString::fromUtf8("关闭"));
        for (int round = 0; round < 2; ++round) {
            pick(ui_language::english);
            const QString close = QCoreApplication::translate("connection_panel", "关闭");
            QVERIFY(!has_cjk(close));
            QCOMPARE(ui()->btn_eth_connect->text(), close);
            pick(ui_language::chinese);
            QCOMPARE(ui()->btn_eth_connect->text(), QString::fromUtf8("关闭"));
        }
        QVERIFY(device_open);

        // Closed in English, it offers to connect in either language.
        pick(ui_language::english);
        click(ui()->btn_eth_connect);
        QVERIFY(!device_open);
        QCOMPARE(ui()->btn_eth_connect->text(), QCoreApplication::translate("connection_panel", "连接"));
        pick(ui_language::chinese);
        QCOMPARE(ui()->btn_eth_connect->text(), QString::fromUtf8("连接"));
    }

    void a_switch_keeps_what_the_fields_hold_without_signalling()
    {
        open_window();
        ui()->cnc_state_spd0->setText("12000");  // as the poll leaves it
        ui()->cnc_state_tool1->setText("3");
        ui()->cnc_input->setText("G0 X1");       // typed, not yet sent
        ui()->cnc_machine_type->setCurrentIndex(2);
        QSignalSpy edited(ui()->cnc_state_spd0, &QLineEdit::textChanged);
        pick(ui_language::english);
        pick(ui_language::chinese);
        QCOMPARE(ui()->cnc_state_spd0->text(), QString("12000"));
        QCOMPARE(ui()->cnc_state_tool1->text(), QString("3"));
        QCOMPARE(ui()->cnc_input->text(), QString("G0 X1"));
        QCOMPARE(ui()->cnc_machine_type->currentIndex(), 2);
        QCOMPARE(edited.count(), 0);
    }

    void the_language_control_leaves_the_form_as_it_is()
    {
        open_window();
        QCOMPARE(window()->size(), QSize(1083, 726));
        QVERIFY(window()->menuBar()->actions().isEmpty());
        for (QToolBar* t : window()->findChildren<QToolBar*>()) QVERIFY(t->actions().isEmpty());
        QStatusBar* bar = window()->statusBar();
        QCOMPARE(control()->parentWidget(), static_cast<QWidget*>(bar));
        int with = bar->sizeHint().height();
        QCOMPARE(bar->height(), with);
        for (ui_language l : {ui_language::english, ui_language::chinese}) {
            pick(l);
            QCOMPARE(bar->sizeHint().height(), with);
        }
        control()->hide();
        bar->layout()->invalidate();
        bar->layout()->activate();
        QCOMPARE(bar->sizeHint().height(), with);
    }

    void a_choice_is_kept_and_the_command_line_wins_without_being_kept()
    {
        QCOMPARE(stored_language(), ui_language::chinese);  // nothing kept yet
        open_window();
        pick(ui_language::english);
        QCOMPARE(stored_language(), ui_language::english);
        QVERIFY(control()->action_for(ui_language::english)->isChecked());
        QVERIFY(!control()->action_for(ui_language::chinese)->isChecked());

        // The next start: the kept choice, unless --lang says otherwise.
        QVERIFY(apply_startup_language({"pelk_test"}, "pelk_test"));
        QCOMPARE(current_language(), ui_language::english);
        QVERIFY(apply_startup_language({"pelk_test", "--lang", "zh"}, "pelk_test"));
        QCOMPARE(current_language(), ui_language::chinese);
        QCOMPARE(stored_language(), ui_language::english);
        QVERIFY(apply_startup_language({"pelk_test", "--screenshot", "x.png", "--lang", "en"}, "pelk_test"));
        QCOMPARE(current_language(), ui_language::english);

        // A language it does not have, or none after --lang, is refused.
        for (const QStringList& bad : {QStringList{"pelk_test", "--lang", "fr"}, QStringList{"pelk_test", "--lang"}})
            QVERIFY(!apply_startup_language(bad, "pelk_test"));
        QSettings("cnc-tools", "pelk_test").setValue("language", "klingon");
        QCOMPARE(stored_language(), ui_language::chinese);
    }
};

CONSOLE_TEST_MAIN(language_test)
#include "language_test.moc"
