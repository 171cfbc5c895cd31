// Parameters, identity, material changer and SD card log from the window,
// checked on the simulated board: its parameter table and frames, its
// user-data area, its changer and its card.
#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "console_fixture.h"
#include "service_panel.h"
#include "ui_pelk_test.h"

namespace {

QByteArray read_file(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class service_panel_test : public console_fixture {
    Q_OBJECT
    QTemporaryDir work;
    QString home;
    std::mutex frames_mutex;
    std::vector<std::string> frames;  // the board's trace of the frames it received

    void up(bool connect = true)
    {
        bsim::config cfg = board_config();
        cfg.trace_sink = [this](const std::string& line) {
            std::lock_guard<std::mutex> g(frames_mutex);
            if (line.find("<- #") != std::string::npos) frames.push_back(line);
        };
        QString why;
        QVERIFY2(start_board(cfg, &why), qPrintable(why));
        open_window();
        if (connect) QVERIFY(connect_board());
        clear_log();
    }

    // Frames received whose trace contains text.
    int frames_with(const std::string& text)
    {
        std::lock_guard<std::mutex> g(frames_mutex);
        return int(std::count_if(frames.begin(), frames.end(),
                                 [&](const std::string& f) { return f.find(text) != std::string::npos; }));
    }

    QByteArray user_bytes(int n)
    {
        auto v = board()->user_data(0, uint32_t(n));
        return QByteArray(reinterpret_cast<const char*>(v.data()), int(v.size()));
    }

private slots:
    void init()
    {
        fixture_init();
        home = QDir::currentPath();
        QDir(work.path()).removeRecursively();
        QDir().mkpath(work.path());
        QDir::setCurrent(work.path());
        std::lock_guard<std::mutex> g(frames_mutex);
        frames.clear();
    }
    void cleanup()
    {
        fixture_cleanup();
        QDir::setCurrent(home);
    }

    void parameters_and_blocks()
    {
        up();
        click(ui()->cnc_param_read);
        QCOMPARE(log_entries(), (QStringList{"CNC:read parameter...", "success."}));
        QCOMPARE(read_file("param.txt").count('\n'), int(board()->params().size()));

        QFile f("param.txt");
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("1.5\n-2.25\n");
        f.close();
        click(ui()->cnc_param_write);
        QCOMPARE(board()->params(), (std::vector<float>{1.5f, -2.25f}));

        // Blocks below 2 are sent, a negative one as its low byte; 2 and up do nothing.
        const std::string save = "cmd=48 type=4 arg=0xa ", load = "cmd=48 type=4 arg=0xb ";
        clear_log();
        for (const char* n : {"1", "2", "-1"}) {
            ui()->cnc_param_set_num->setText(n);
            click(ui()->cnc_param_set);
            click(ui()->cnc_param_load);
        }
        QCOMPARE(log_entries(), (QStringList{"CNC:save parameter to flash block 1...", "success.",
                                             "CNC:load parameter to cnc 1...", "success.",
                                             "CNC:save parameter to flash block -1...", "success.",
                                             "CNC:load parameter to cnc -1...", "success."}));
        QCOMPARE(frames_with(save), 2);
        QCOMPARE(frames_with(load), 2);
        QCOMPARE(frames_with("[ff]"), 2);
    }

    void identifier_and_type_in_user_data()
    {
        up();
        ui()->cnc_machine_id->setText("ABCDEFGHIJKLMNOP");
        click(ui()->cnc_machine_id_set);
        QCOMPARE(log_entries(), (QStringList{"CNC:write machine id [ABCDEFGHIJKLMNOP]...", "success."}));
        QCOMPARE(user_bytes(19), QByteArray("ABCDEFGHIJKLMNO") + QByteArray(1, '\0') + QByteArray(3, '\xff'));

        clear_log();
        ui()->cnc_machine_id->clear();
        click(ui()->cnc_machine_id_set);
        QCOMPARE(log_entries(), (QStringList{"CNC:write machine id []...", "CNC:write machine id err, is null"}));

        ui()->cnc_machine_type->setCurrentIndex(1);
        click(ui()->cnc_machine_type_set);
        QCOMPARE(log_entries().mid(2), (QStringList{"CNC:write machine type [M81DC]...", "success."}));
        QCOMPARE(user_bytes(19), QByteArray("ABCDEFGHIJKLMNO") + QByteArray(1, '\0') + "\xff\x04\xff");

        // Multi-byte characters are never cut in half.
        const QString cjk = QString::fromUtf8("机器编号ABCD");
        QCOMPARE(service_panel::identifier_bytes(cjk), QString::fromUtf8("机器编号ABC").toUtf8());
        ui()->cnc_machine_id->setText(cjk);
        click(ui()->cnc_machine_id_set);
        QCOMPARE(user_bytes(16), QString::fromUtf8("机器编号ABC").toUtf8() + QByteArray(1, '\0'));
    }

    void material_changer()
    {
        up(false);
        click(ui()->ar_start);
        click(ui()->ar_home);
        QCOMPARE(log_entries(), (QStringList{"dev not open.", "dev not open"}));
        QVERIFY(connect_board());
        clear_log();

        ui()->ar_start_id->setText("3");
        ui()->ar_stop_id->setText("3");
        click(ui()->ar_start);
        QCOMPARE(log_entries(), QStringList{"CNC:ar start pad(3) != stop pad(3)"});
        click(ui()->ar_home);
        ui()->ar_start_id->setText("300");
        ui()->ar_stop_id->setText("2");
        click(ui()->ar_start);
        click(ui()->ar_open);
        QCOMPARE(log_entries().mid(1), (QStringList{"CNC:ar home", "success", "CNC:ar change pad form 300 to 2",
                                                    "success", "CNC:ar open cylinder", "success"}));
        QCOMPARE(board()->machine().ar_point, uint32_t(2));
        QVERIFY(board()->machine().ar_cylinder_open);

        // Without the folder the log is fetched but not written.
        click(ui()->ar_get_log);
        QCOMPARE(log_entries().mid(7), (QStringList{"CNC:ar get log", "success"}));
        QVERIFY(!QFile::exists("read_file/ar_log.txt"));
        QDir().mkdir("read_file");
        click(ui()->ar_get_log);
        const QByteArray text = read_file("read_file/ar_log.txt");
        QVERIFY2(text.contains("change pad 44 -> 2") && text.contains("cylinder open"), text.constData());
        QVERIFY(!text.contains('\0'));
    }

    void sd_format_and_controller_log()
    {
        up(false);
        // The log read needs no connection to set up the flash group.
        click(ui()->cnc_log_read);
        QCOMPARE(log_entries(), QStringList{"read log..."});
        QVERIFY(ui()->sf_type_sd->isChecked() && ui()->sf_file_type_txt->isChecked());
        QCOMPARE(ui()->sf_file_path->text(), QString("cnc_log.txt"));
        QVERIFY(!QDir("read_file").exists());
        QVERIFY(connect_board());
        clear_log();

        std::ofstream(board()->sd_path("old.txt")) << "old";
        box_answer = 0x400000;  // Cancel
        click(ui()->cnc_sd_mkfs);
        QVERIFY(log_entries().isEmpty());
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].text, QString::fromUtf8("确认格式化SD卡？"));
        QCOMPARE(boxes[0].informative, QString::fromUtf8("!!格式化SD期间,请不要进行加工操作!!"));
        QVERIFY(std::filesystem::exists(board()->sd_path("old.txt")));

        box_answer = 0x400;
        click(ui()->cnc_sd_mkfs);
        QVERIFY(wait_for_log("SF:sd flash handle complete. 0-success"));
        QCOMPARE(log_entries().first(), QString("sdcard mkfs..."));
        QVERIFY(!std::filesystem::exists(board()->sd_path("old.txt")));
        // The format itself is an event in the controller's log; clearing erases it.
        QVERIFY(std::filesystem::exists(board()->sd_path("cnc_log.txt")));
        clear_log();
        ui()->sf_type_fpga->setChecked(true);
        click(ui()->cnc_log_clear);
        QVERIFY(wait_for_log("SF:sd flash handle complete. 0-success"));
        QCOMPARE(log_entries().mid(0, 2), (QStringList{"SF:sd flash earse start....", "clear log..."}));
        QVERIFY(!std::filesystem::exists(board()->sd_path("cnc_log.txt")));
    }
};

CONSOLE_TEST_MAIN(service_panel_test)
#include "service_panel_test.moc"
