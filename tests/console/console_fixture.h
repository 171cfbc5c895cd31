// Shared ground for the console's Qt tests: the simulated board, the real
// window on the offscreen platform working on a board object for it, and
// helpers to click, read the log and wait for log lines.
//
// Each test file defines a QObject test class deriving from console_fixture
// and ends with one of two mains:
//
// CONSOLE_TEST_MAIN(class): the board runs in the test process without
// sockets (bsim::in_process) and the window gets a board object of its own
// on it. No network, no privileges; discovery lists that one board.
//
// CONSOLE_LINK_TEST_MAIN(class), for tests whose point is discovery or the
// Ethernet link itself: the window uses the library's default board over
// the real link. Before the application object and any thread exist, main
// makes two private network namespaces joined by a veth pair (needs root, or
// an unprivileged user namespace where the kernel allows them): the board
// side holds 10.233.0.2 and the fixed static address 192.168.8.123, the host
// side 10.233.0.1; the test's main thread stays on the host side, the board
// runs on the board side and answers discovery. Where namespaces cannot be
// made, tests that call REQUIRE_PRIVATE_NET skip.
//
// Modal boxes never block: the fixture installs a box responder that
// records each box and answers with box_answer (QMessageBox::Ok unless a
// test changes it).
#pragma once

#include <QObject>
#include <QStringList>
#include <QTest>
#include <functional>
#include <memory>

#include "board_sim.h"
#include "cnc_board.h"
#include "message_boxes.h"
#include "board_worker.h"
#include "panels/connection_panel.h"
#include "panels/flash_panel.h"
#include "panels/machine_state_panel.h"
#include "panels/nc_job_panel.h"
#include "pelk_test.h"

class QAbstractButton;

class console_fixture : public QObject {
    Q_OBJECT
public:
    // True when the private network is up (link tests only; else they skip).
    static bool network_ready();
    static QString network_problem();
    // A board configuration: discovery answered, machine id "SIM-BOARD-01",
    // identity defaults unless the test sets them.
    static bsim::config board_config();

protected:
    // (Re)starts the simulated board with cfg, and for in-process tests a
    // board object on it; false with a reason on failure. No window may be
    // open on a board object it replaces.
    bool start_board(bsim::config cfg, QString* why = nullptr);
    void stop_board();
    bsim::board* board() { return sim.get(); }
    // The board object windows of this test work on: one on the in-process
    // board, or the library's default board for link tests.
    cnc::board& board_object();

    // A fresh window on board_object(), constructed and shown as main does,
    // once its start-up discovery has answered.
    pelk_test* open_window();
    pelk_test* window() { return win.get(); }
    Ui::pelk_testClass* ui();
    // Runs the event loop until every board request of the window has been
    // answered (the window never waits for the board; tests do).
    void settle();
    // Destroys the window and closes any link it left open.
    void close_window();
    // Destroys the window only; a link it opened stays open.
    void destroy_window();

    // The message log as shown, and its entries without time stamps (blank
    // separator lines dropped); entries() settles first.
    QString log_text();
    QStringList log_entries();
    void clear_log();
    // Waits, running the event loop, until an entry contains text (or
    // timeout_ms passes); true when it appeared. The bounds only end waits
    // that will never succeed: a loaded machine under a sanitizer is slow.
    bool wait_for_log(const QString& text, int timeout_ms = 30000);
    // Waits until pred() holds, running the event loop.
    static bool wait_until(const std::function<bool()>& pred, int timeout_ms = 30000);
    // Clicks and settles.
    void click(QAbstractButton* button);
    // Connects through the list entry (or static mode) and waits for the identity lines.
    bool connect_board(bool static_mode = false);

    // Modal boxes shown so far and how they are answered.
    struct shown_box {
        box_kind kind;
        QString text, informative;
    };
    QList<shown_box> boxes;
    int box_answer = 0x400;  // QMessageBox::Ok

    // Call from each test class's init() and cleanup().
    void fixture_init();
    void fixture_cleanup();

private:
    std::unique_ptr<bsim::board> sim;
    std::unique_ptr<cnc::board> in_process_board;  // destroyed before sim
    // A window opened before any board started talks to a board that is
    // switched off: discovery finds nothing, connecting fails.
    std::unique_ptr<bsim::board> idle_sim;
    std::unique_ptr<cnc::board> idle_board;
    std::unique_ptr<pelk_test> win;
};

enum class console_board_reach { in_process, private_network };

// Sets up the offscreen platform (and for link tests the private network),
// then runs the tests.
int console_test_main(int argc, char** argv, console_board_reach reach, const std::function<QObject*()>& make_test);

#define CONSOLE_TEST_MAIN(TestClass)                                                                     \
    int main(int argc, char** argv)                                                                      \
    {                                                                                                    \
        return console_test_main(argc, argv, console_board_reach::in_process,                            \
                                 [] { return static_cast<QObject*>(new TestClass); });                   \
    }

#define CONSOLE_LINK_TEST_MAIN(TestClass)                                                                \
    int main(int argc, char** argv)                                                                      \
    {                                                                                                    \
        return console_test_main(argc, argv, console_board_reach::private_network,                       \
                                 [] { return static_cast<QObject*>(new TestClass); });                   \
    }

// Link tests: skips the current test when the private network is not available.
#define REQUIRE_PRIVATE_NET()                                                               \
    do {                                                                                   \
        if (!console_fixture::network_ready())                                             \
            QSKIP(qPrintable("no private network: " + console_fixture::network_problem())); \
    } while (0)
