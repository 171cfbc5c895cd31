// The flash group against the simulated board: writes and read-backs checked
// on the board's side, the read-back path rules, the end lines, the MCU rule,
// drive updates with their progress, and a window that keeps running while a
// large transfer is under way.
#include <QButtonGroup>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProgressBar>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <filesystem>

#include "console_fixture.h"
#include "flash_panel.h"
#include "ui_pelk_test.h"

namespace {

QByteArray random_bytes(int n, quint32 seed)
{
    QRandomGenerator gen(seed);
    QByteArray data(n, '\0');
    for (char& c : data) c = char(gen.bounded(256));
    return data;
}

void write_file(const QString& path, const QByteArray& data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}

QByteArray read_file(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray vec(const std::vector<uint8_t>& v) { return QByteArray(reinterpret_cast<const char*>(v.data()), int(v.size())); }

}  // namespace

class flash_panel_test : public console_fixture {
    Q_OBJECT
    QTemporaryDir work;
    QString home;

    // Starts a board (with firmware major `major`), opens and connects the window.
    void up(int major = 1, int reply_delay_ms = 0)
    {
        bsim::config cfg = board_config();
        cfg.fault.delay_ms = reply_delay_ms;
        cfg.set_major = true;
        cfg.id.fw_major = uint8_t(major);
        QString why;
        QVERIFY2(start_board(cfg, &why), qPrintable(why));
        open_window();
        QVERIFY(connect_board());
        clear_log();
    }

    void select(int target, int type = 0)
    {
        window()->flash_target_group()->button(target)->setChecked(true);
        window()->flash_file_type_group()->button(type)->setChecked(true);
    }

    // Clears the log, clicks a flash button and waits for the job's end line.
    bool run(QAbstractButton* button, const QString& end, int ms = 60000)
    {
        clear_log();
        click(button);
        return wait_for_log(end, ms);
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
        set_file_chooser({});
        QDir::setCurrent(home);
        QDir(work.path()).removeRecursively();
        QDir().mkpath(work.path());  // emptied for the next test, which enters it again
    }

    void fpga_image_written_and_read_back()
    {
        up();
        const QByteArray image = random_bytes(100 * 1024 + 3, 1);
        write_file("fpga_image.bin", image);
        QStringList asked;
        set_file_chooser([&](QWidget*, const QString& caption, const QString& start, const QString& filter) {
            asked << caption << start << filter;
            return QDir::current().absoluteFilePath("fpga_image.bin");
        });
        click(ui()->sf_select);
        QCOMPARE(asked, (QStringList{"select file", ".", "bin files(*.*)"}));
        QCOMPARE(ui()->sf_file_path->text(), QDir::current().absoluteFilePath("fpga_image.bin"));

        QTest::mouseClick(ui()->sf_update, Qt::LeftButton);
        // Before the job's end can be heard: no event has run since the click.
        QVERIFY(!ui()->sf_update->isEnabled() && !ui()->btn_eth_connect->isEnabled());
        QCOMPARE(log_entries().mid(0, 2), (QStringList{"SF:open file success.size 102403 bytes....",
                                                        "SF:fpga flash write start...."}));
        QVERIFY(ui()->sf_select->isEnabled());
        QVERIFY(wait_for_log("SF:fpga flash handle complete. 0-success,use time "));
        QVERIFY(ui()->sf_update->isEnabled() && ui()->sf_read->isEnabled() && ui()->btn_eth_connect->isEnabled());
        // Padded to whole words, the bar clamped to the file size.
        QVERIFY(wait_until([&] { return ui()->sf_update_bar->value() == image.size(); }));
        QCOMPARE(ui()->sf_update_bar->maximum(), image.size());
        QCOMPARE(vec(board()->fpga_image()), image + QByteArray(1, '\0'));

        // The read lands under ./read_file/ with the chosen file's name.
        QVERIFY(run(ui()->sf_read, "SF:fpga flash handle complete. 0-success"));
        QVERIFY(log_text().contains("SF:fpga flash read start...."));
        QCOMPARE(read_file("read_file/fpga_image.bin"), image + QByteArray(1, '\0'));
        QCOMPARE(read_file("fpga_image.bin"), image);

        // An empty field names the file after the target and the file type.
        ui()->sf_file_path->clear();
        select(0, 1);
        QVERIFY(run(ui()->sf_read, "SF:fpga flash handle complete. 0-success"));
        QCOMPARE(read_file("read_file/fpga.img"), image + QByteArray(1, '\0'));
        QCOMPARE(flash_panel::read_back_path(2, 2, "a/b\\c.txt"), QString("./read_file/b\\c.txt"));
        QCOMPARE(flash_panel::read_back_path(2, 2, "a/"), QString("./read_file/"));
    }

    void sd_file_written_with_check_and_read_back()
    {
        up();
        const QByteArray data = random_bytes(20003, 2);
        write_file("payload.bin", data);
        select(2);
        ui()->sf_file_path->setText("payload.bin");
        QVERIFY(run(ui()->sf_update, "SF:sd flash handle complete. 0-success"));
        QCOMPARE(board()->stats().checksum_ok, uint64_t(1));
        // The card holds the file padded to whole words, as it was sent.
        const QByteArray padded = data + QByteArray(1, '\0');
        QCOMPARE(read_file(QString::fromStdString(board()->sd_path("payload.bin"))), padded);

        // A read asks the card for its read-back path; put the file there.
        std::filesystem::create_directories(board()->sd_path("read_file"));
        std::filesystem::copy_file(board()->sd_path("payload.bin"), board()->sd_path("read_file/payload.bin"));
        QVERIFY(run(ui()->sf_read, "SF:sd flash handle complete. 0-success"));
        QCOMPARE(log_entries().first(), QString("SF:sd flash read start...."));
        QCOMPARE(read_file("read_file/payload.bin"), padded);

        // A read-back onto the file chosen as the source is refused.
        write_file("read_file/payload.bin", "source");
        ui()->sf_file_path->setText("./read_file/payload.bin");
        clear_log();
        click(ui()->sf_read);
        QCOMPARE(log_entries(), QStringList{"SF:read back would overwrite the source file "
                                            "./read_file/payload.bin, nothing read...."});
        QCOMPARE(read_file("read_file/payload.bin"), QByteArray("source"));
        QVERIFY(ui()->sf_read->isEnabled());
    }

    void refusals_and_immediate_ends()
    {
        up();
        write_file("some.bin", "abcd");
        write_file("empty.bin", QByteArray());
        select(1);
        ui()->sf_file_path->setText("some.bin");
        QVERIFY(run(ui()->sf_update, "SF:fram flash handle complete. 0-success"));
        QCOMPARE(log_entries().mid(1, 1), QStringList{"SF:fram flash write start...."});

        // An empty file, one larger than the flash and a G-code program are
        // refused before the flash is erased.
        select(0);
        const std::vector<uint8_t> before = board()->fpga_image();
        ui()->sf_file_path->setText("empty.bin");
        clear_log();
        click(ui()->sf_update);
        QCOMPARE(log_entries(), (QStringList{"SF:open file success.size 0 bytes....",
                                             "SF:file refused: empty.bin: the file is empty, nothing to write, "
                                             "nothing sent...."}));
        write_file("big.bin", random_bytes(16 * 1024 * 1024 + 4, 7));
        ui()->sf_file_path->setText("big.bin");
        clear_log();
        click(ui()->sf_update);
        QVERIFY2(log_entries().size() == 2 && log_entries().last().startsWith("SF:file refused: big.bin: "),
                 qPrintable(log_entries().join('\n')));
        write_file("part.nc", "G21 G90\nG0 X0 Y0\nG1 X10 F600\nM30\n");
        select(3);
        ui()->sf_file_path->setText("part.nc");
        window()->flash_part().set_mcu_erased(true);
        clear_log();
        click(ui()->sf_update);
        QVERIFY2(log_entries().size() == 2 && log_entries().last().contains("G-code"),
                 qPrintable(log_entries().join('\n')));
        window()->flash_part().set_mcu_erased(false);
        select(0);
        QVERIFY(ui()->sf_update->isEnabled());
        QVERIFY(board()->fpga_image() == before);

        ui()->sf_file_path->setText("missing.bin");
        clear_log();
        click(ui()->sf_update);
        QCOMPARE(log_entries(), QStringList{"SF:open file failed...."});

        // A path longer than the request's field is refused, not cut.
        ui()->sf_file_path->setText(QString(256, 'p'));
        clear_log();
        click(ui()->sf_update);
        click(ui()->sf_read);
        QCOMPARE(log_entries(), (QStringList{"SF:file path too long (256 bytes, at most 255), nothing sent....",
                                             "SF:file path too long (268 bytes, at most 255), nothing sent...."}));
        QVERIFY(ui()->sf_update->isEnabled());
    }

    void mcu_write_needs_an_erased_board()
    {
        up(1);
        const QByteArray app = random_bytes(5000, 3);
        write_file("app.bin", app);
        select(3);
        ui()->sf_file_path->setText("app.bin");
        click(ui()->sf_update);
        QCOMPARE(log_entries(), QStringList{"SF:please click erase before update mcu ...."});
        // An erase does not lift the rule: only a new connection reporting major 0 does.
        QVERIFY(run(ui()->sf_earse, "SF:mcu flash handle complete. 0-success"));
        clear_log();
        click(ui()->sf_update);
        QCOMPARE(log_entries(), QStringList{"SF:please click erase before update mcu ...."});
        QVERIFY(board()->mcu_app().empty());

        fixture_cleanup();
        fixture_init();
        up(0);
        select(3);
        ui()->sf_file_path->setText("app.bin");
        QVERIFY(run(ui()->sf_update, "SF:mcu flash handle complete. 0-success"));
        QCOMPARE(vec(board()->mcu_app()), app);
    }

    void drive_updates_follow_the_board()
    {
        up();
        const QByteArray firmware = random_bytes(64 * 1024, 4);
        write_file("drive.bin", firmware);
        ui()->sf_file_path->setText("drive.bin");
        for (int target : {4, 5}) {
            select(target);
            const QString label = target == 4 ? "enc" : "boot";
            QVERIFY(run(ui()->sf_update, "SF:" + label + " flash handle complete. 0-success"));
            QCOMPARE(log_entries().mid(1, 1), QStringList{"SF:" + label + " flash write start...."});
            QVERIFY(wait_until([&] { return ui()->sf_update_bar->value() == firmware.size(); }));
        }
        QCOMPARE(read_file(QString::fromStdString(board()->sd_path("drive.bin"))), firmware);
        const QByteArray events = read_file(QString::fromStdString(board()->sd_path("cnc_log.txt")));
        QVERIFY(events.contains("spindle drive update from drive.bin started"));
        QVERIFY(events.contains("dc drive update from drive.bin started"));
    }

    // The GUI thread keeps its timers, the log and the bar going while the
    // worker moves a 20 MiB SD file and a 4 MiB FPGA image, and the window's
    // own status poll gets its answers between chunks. The longest gap
    // between 10 ms ticks is printed (bench/console_gap_bench measures it
    // under load).
    void large_transfers_keep_the_window_running()
    {
        // PELK_FLASH_REPLY_DELAY_MS makes the board answer that late, which
        // stretches the transfers over many status polls.
        up(1, qEnvironmentVariableIntValue("PELK_FLASH_REPLY_DELAY_MS"));
        write_file("big_sd.bin", random_bytes(20 * 1024 * 1024, 5));
        write_file("big_fpga.bin", random_bytes(4 * 1024 * 1024, 6));
        QElapsedTimer clock;
        qint64 last = 0, worst_gap = 0;
        int polls = 0;
        QList<int> bar_values;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            qint64 now = clock.elapsed();
            worst_gap = std::max(worst_gap, now - last);
            last = now;
            bar_values << ui()->sf_update_bar->value();
        });
        QObject::connect(&window()->worker(), &board_worker::polled, this, [&](const board_poll& p) {
            if (p.result == 0) ++polls;
        });
        const QString snapshot = qEnvironmentVariable("PELK_FLASH_SNAPSHOT");
        bool shot = snapshot.isEmpty();
        for (auto [target, name, label] : {std::tuple{2, "big_sd.bin", "sd"}, std::tuple{0, "big_fpga.bin", "fpga"}}) {
            select(target);
            ui()->sf_file_path->setText(name);
            bar_values.clear();
            polls = 0;
            worst_gap = 0;
            click(ui()->sf_update);
            clock.start();
            last = 0;
            tick.start(10);
            QVERIFY(wait_until(
                [&] {
                    const int v = ui()->sf_update_bar->value(), top = ui()->sf_update_bar->maximum();
                    if (!shot && v > top / 3 && v < top * 2 / 3) shot = window()->grab().save(snapshot, "PNG");
                    return log_text().contains(QString("SF:%1 flash handle complete. 0-success").arg(label));
                },
                120000));
            tick.stop();
            const qint64 took = clock.elapsed();
            const int top = ui()->sf_update_bar->maximum();
            const bool part_way = std::any_of(bar_values.begin(), bar_values.end(),
                                              [&](int v) { return v > 0 && v < top; });
            qInfo("%s: %lld ms, longest gap between 10 ms ticks %lld ms; %d status polls answered", name, took,
                  worst_gap, polls);
            QVERIFY2(part_way || took < 300, "the bar never showed a part-way value");
            // Bounds loose enough for sanitizer builds on a loaded machine:
            // a poll answered every second or so, no freeze of seconds.
            QVERIFY2(polls >= int(took / 1000) - 1, "status polls did not get through during the transfer");
            QVERIFY2(worst_gap < 5000, "the GUI thread stalled for seconds");
        }
        QCOMPARE(vec(board()->fpga_image()), read_file("big_fpga.bin"));
        QVERIFY(shot);
    }
};

CONSOLE_TEST_MAIN(flash_panel_test)
#include "flash_panel_test.moc"
