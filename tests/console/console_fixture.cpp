#include "console_fixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QTextEdit>
#include <cstdlib>
#include <unistd.h>
#include <cstring>

#include "board_sim_transport.h"
#include "private_net.h"
#include "ui_pelk_test.h"
#include "user_net.h"

namespace {

// The two sides of the private network, whichever way it was made.
struct network_sides {
    bool ok = false;
    std::function<bool()> enter_host, enter_board;
};
network_sides the_net;
QString net_problem;
console_board_reach the_reach = console_board_reach::in_process;

const char host_addr[] = "10.233.0.1";
const char board_addr[] = "10.233.0.2";
const char static_addr[] = "192.168.8.123";

}  // namespace

bool console_fixture::network_ready() { return the_net.ok; }
QString console_fixture::network_problem() { return net_problem; }

bsim::config console_fixture::board_config()
{
    bsim::config c;
    c.set_machine_id = true;
    std::memcpy(c.id.machine_id.data(), "SIM-BOARD-01", 12);
    c.group_if = board_addr;
    return c;
}

bool console_fixture::start_board(bsim::config cfg, QString* why)
{
    stop_board();
    if (the_reach == console_board_reach::in_process) {
        cfg.listen = false;
        sim = std::make_unique<bsim::board>(std::move(cfg));
        std::string reason;
        if (!sim->start(&reason)) {
            sim.reset();
            if (why) *why = QString::fromStdString(reason);
            return false;
        }
        in_process_board = std::make_unique<cnc::board>(bsim::in_process(*sim));
        return true;
    }
    if (!network_ready()) {
        if (why) *why = "no private network";
        return false;
    }
    // The board's sockets and threads are made on the board side; the test
    // thread then goes back to the host side, where the console lives.
    if (!the_net.enter_board()) {
        if (why) *why = "cannot enter the board side";
        return false;
    }
    sim = std::make_unique<bsim::board>(std::move(cfg));
    std::string reason;
    bool ok = sim->start(&reason);
    the_net.enter_host();
    if (!ok) {
        sim.reset();
        if (why) *why = QString::fromStdString(reason);
    }
    return ok;
}

void console_fixture::stop_board()
{
    in_process_board.reset();
    sim.reset();
}

cnc::board& console_fixture::board_object()
{
    if (the_reach == console_board_reach::private_network) return cnc::default_board();
    if (in_process_board) return *in_process_board;
    if (!idle_board) {
        bsim::config cfg;
        cfg.listen = false;
        idle_sim = std::make_unique<bsim::board>(cfg);
        idle_board = std::make_unique<cnc::board>(bsim::in_process(*idle_sim));
    }
    return *idle_board;
}

pelk_test* console_fixture::open_window()
{
    win = std::make_unique<pelk_test>(board_object());
    win->show();
    settle();
    return win.get();
}

Ui::pelk_testClass* console_fixture::ui() { return win->form(); }

void console_fixture::settle()
{
    if (!win) return;
    // Generous: the first discovery comes a second after the window shows,
    // and a loaded machine answers late.
    if (!wait_until([this] { return win->board_idle(); }, 60000)) qWarning("the window's board requests did not settle");
    QCoreApplication::processEvents();
}

void console_fixture::destroy_window() { win.reset(); }

void console_fixture::close_window()
{
    if (win) {
        win->close();
        win.reset();
    }
    // A window leaves its link open on close; the next test starts closed.
    if (the_reach == console_board_reach::private_network)
        cnc::default_board().cnc_close_dev();
    else if (in_process_board)
        in_process_board->cnc_close_dev();
    device_open = false;
}

QString console_fixture::log_text() { return ui()->debug_edit->toPlainText(); }

QStringList console_fixture::log_entries()
{
    settle();
    QStringList out;
    for (const QString& line : log_text().split('\n')) {
        if (line.isEmpty()) continue;
        // "[hh:mm:ss]" opens every entry.
        out << (line.startsWith('[') && line.size() >= 10 && line[9] == ']' ? line.mid(10) : line);
    }
    return out;
}

void console_fixture::clear_log()
{
    settle();  // no answer to an earlier request lands after the clear
    ui()->debug_edit->clear();
}

bool console_fixture::wait_until(const std::function<bool()>& pred, int timeout_ms)
{
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeout_ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QTest::qWait(10);
    }
    return true;
}

bool console_fixture::wait_for_log(const QString& text, int timeout_ms)
{
    return wait_until([&] { return log_text().contains(text); }, timeout_ms);
}

void console_fixture::click(QAbstractButton* button)
{
    QTest::mouseClick(button, Qt::LeftButton);
    settle();
}

bool console_fixture::connect_board(bool static_mode)
{
    if (static_mode != ui()->cbox_eth_static->isChecked()) click(ui()->cbox_eth_static);
    click(ui()->btn_eth_connect);
    return device_open.load();
}

void console_fixture::fixture_init()
{
    boxes.clear();
    box_answer = 0x400;
    set_box_responder([this](box_kind kind, const QString& text, const QString& informative) {
        boxes.append({kind, text, informative});
        return box_answer;
    });
}

void console_fixture::fixture_cleanup()
{
    close_window();
    stop_board();
    set_box_responder({});
}

int console_test_main(int argc, char** argv, console_board_reach reach, const std::function<QObject*()>& make_test)
{
    // Before the application object and its threads: for link tests the
    // private network. Root makes named namespaces; an ordinary user a user
    // namespace.
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    the_reach = reach;
    std::vector<std::string> host{host_addr}, board{board_addr, static_addr};
    std::unique_ptr<private_net> root_net;
    std::unique_ptr<user_net> own_net;
    if (reach == console_board_reach::in_process) {
        net_problem = "the board runs in-process";
    } else if (::geteuid() == 0) {
        root_net = std::make_unique<private_net>(host, board);
        if (root_net->ok()) {
            the_net.enter_host = [&] { return root_net->enter_host_side(); };
            the_net.enter_board = [&] { return root_net->enter_board_side(); };
        } else {
            net_problem = QString::fromStdString(root_net->why_not());
        }
    } else {
        own_net = std::make_unique<user_net>(host, board);
        if (own_net->ok()) {
            the_net.enter_host = [&] { return own_net->enter_host_side(); };
            the_net.enter_board = [&] { return own_net->enter_board_side(); };
        } else {
            net_problem = QString::fromStdString(own_net->why_not());
        }
    }
    if (the_net.enter_host) {
        the_net.ok = the_net.enter_host();
        if (!the_net.ok) net_problem = "cannot enter the host side";
    }

    QApplication app(argc, argv);
    std::unique_ptr<QObject> test(make_test());
    int rc = QTest::qExec(test.get(), argc, argv);
    test.reset();
    the_net = {};
    return rc;
}
