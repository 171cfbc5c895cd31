// What the display fields say about themselves (accessible names and
// tooltips with their axis or spindle) and how the display-only state boxes
// read when ticked, checked on the window as it is drawn.
#include <QButtonGroup>
#include <QCheckBox>
#include <QHash>
#include <QLineEdit>
#include <QProgressBar>
#include <QSet>
#include <QStyleOptionButton>
#include <cmath>

#include "console_fixture.h"
#include "ui_pelk_test.h"

namespace {

const QString axes = "XYZABCUVW";

// The axis letters in a text, in order.
QString axis_letters(const QString& text)
{
    QString out;
    for (QChar c : text)
        if (axes.contains(c)) out += c;
    return out;
}

// Relative luminance and contrast ratio as the web accessibility guidelines define them.
double luminance(QColor c)
{
    auto lin = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * lin(c.redF()) + 0.7152 * lin(c.greenF()) + 0.0722 * lin(c.blueF());
}
double contrast(QColor a, QColor b)
{
    double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The most common colour in rect: the background there.
QColor background(const QImage& image, QRect rect)
{
    QHash<QRgb, int> count;
    rect &= image.rect();
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x) ++count[image.pixel(x, y)];
    QRgb most = count.isEmpty() ? 0 : count.begin().key();
    for (auto it = count.begin(); it != count.end(); ++it)
        if (it.value() > count[most]) most = it.key();
    return QColor(most);
}

// The strongest contrast of any pixel in rect against its background.
double best_contrast(const QImage& image, QRect rect)
{
    const QColor back = background(image, rect);
    double best = 1;
    rect &= image.rect();
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            best = std::max(best, contrast(QColor(image.pixel(x, y)), back));
    return best;
}

// The text against the window, the tick against the inside of its box.
struct box_look {
    double text, tick;
};

box_look look_of(QCheckBox* box)
{
    QStyleOptionButton opt;
    opt.initFrom(box);
    opt.text = box->text();
    const QRect indicator = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &opt, box);
    const QImage image = box->grab().toImage();
    return {best_contrast(image, QRect(indicator.right() + 1, 0, image.width(), image.height())),
            best_contrast(image, indicator.adjusted(2, 2, -2, -2))};
}

}  // namespace

class field_hints_test : public console_fixture {
    Q_OBJECT
    QCheckBox* box(const char* name) { return window()->findChild<QCheckBox*>(name); }

private slots:
    void init()
    {
        fixture_init();
        QVERIFY(start_board(board_config()));
        open_window();
    }
    void cleanup() { fixture_cleanup(); }

    void position_fields_name_their_axis_once_and_uniquely()
    {
        QSet<QString> names;
        for (const char* kind : {"wpos", "mpos"})
            for (QChar axis : axes) {
                const QString object = QString("cnc_axis_%1_%2").arg(axis.toLower()).arg(kind);
                auto* field = window()->findChild<QLineEdit*>(object);
                QVERIFY2(field, qPrintable(object));
                QCOMPARE(axis_letters(field->accessibleName()), QString(axis));
                QCOMPARE(axis_letters(field->toolTip()), QString(axis));
                names << field->accessibleName();
            }
        QCOMPARE(names.size(), 18);
        QVERIFY(ui()->cnc_axis_x_wpos->accessibleName() != ui()->cnc_axis_x_mpos->accessibleName());
    }

    void state_line_and_progress_fields_say_what_they_show()
    {
        QList<QWidget*> fields{ui()->cnc_state_spd0, ui()->cnc_state_spd1,    ui()->cnc_state_tool0,
                               ui()->cnc_state_tool1, ui()->cnc_continue_line, ui()->cnc_update_bar,
                               ui()->cnc_nc_download};
        QSet<QString> names, tips;
        for (QWidget* w : fields) {
            QVERIFY2(!w->accessibleName().isEmpty() && !w->toolTip().isEmpty(), qPrintable(w->objectName()));
            names << w->accessibleName();
            tips << w->toolTip();
        }
        QCOMPARE(names.size(), fields.size());
        QCOMPARE(tips.size(), fields.size());
        for (QWidget* w : {ui()->cnc_state_spd1, ui()->cnc_state_tool1})
            QVERIFY2(w->accessibleName().contains('1') && w->toolTip().contains('1'), qPrintable(w->objectName()));
        QVERIFY(!ui()->cnc_continue_line->placeholderText().isEmpty());
        QVERIFY(ui()->cnc_continue_line->text().isEmpty());  // so the placeholder shows
    }

    // A caption of a unit or an abbreviation alone ("mm", "SP") says
    // nothing read aloud: these fields are named for what they hold.
    void fields_captioned_by_a_unit_are_named_for_what_they_hold()
    {
        const QHash<QWidget*, QString> captions{
            {ui()->cnc_axis_feed, "mm/M"},    {ui()->cnc_axis_travel_length, "mm"}, {ui()->ar_start_id, "SP"},
            {ui()->ar_stop_id, "EP"},         {ui()->buzzer_edit_period, "周期"},   {ui()->rgb_led_start, ""},
            {ui()->rgb_led_num, ""},          {ui()->rgb_led_value, ""},            {ui()->cnc_machine_id, ""}};
        QSet<QString> names;
        for (auto it = captions.begin(); it != captions.end(); ++it) {
            QWidget* w = it.key();
            QVERIFY2(w->accessibleName().size() > it.value().size() + 2, qPrintable(w->objectName()));
            QVERIFY2(w->toolTip().startsWith(w->accessibleName()), qPrintable(w->objectName()));
            names << w->accessibleName();
        }
        QCOMPARE(names.size(), captions.size());
    }

    // Text at least 4.5:1 against the window and the tick 3:1 against its
    // box, as the accessibility guidelines ask of text and of graphics;
    // unticked boxes keep the disabled grey.
    void ticked_display_boxes_stay_readable()
    {
        QList<QCheckBox*> boxes;
        for (QAbstractButton* b : window()->run_state_group()->buttons()) boxes << qobject_cast<QCheckBox*>(b);
        for (const char* name : {"cnc_run_state_idle", "cnc_state_pressure", "cnc_state_door", "cnc_state_dust",
                                 "cnc_state_drawer", "cnc_state_cool0", "cnc_state_cool1"})
            boxes << box(name);
        QCOMPARE(boxes.size(), 18);
        for (QCheckBox* b : boxes) {
            QVERIFY2(!b->isEnabled(), qPrintable(b->objectName()));
            b->setChecked(false);
            const box_look unticked = look_of(b);
            b->setChecked(true);
            const box_look ticked = look_of(b);
            const QString what = QString("%1: text %2 / %3, tick %4 / %5")
                                     .arg(b->objectName())
                                     .arg(ticked.text)
                                     .arg(unticked.text)
                                     .arg(ticked.tick)
                                     .arg(unticked.tick);
            QVERIFY2(ticked.text >= 4.5 && ticked.tick >= 3.0, qPrintable(what));
            QVERIFY2(unticked.text < ticked.text && unticked.tick < ticked.tick, qPrintable(what));
        }
    }

    // The state poll ticks the idle box of a connected, idle board.
    void the_polled_idle_box_is_readable()
    {
        QVERIFY(connect_board());
        QCheckBox* idle = ui()->cnc_run_state_idle;
        QVERIFY(wait_until([&] { return idle->isChecked(); }));
        QVERIFY2(look_of(idle).text >= 4.5, qPrintable(QString::number(look_of(idle).text)));
    }
};

CONSOLE_TEST_MAIN(field_hints_test)
#include "field_hints_test.moc"
