// The connection group: lists the controllers found, opens a connection by
// list entry or to the link's fixed address, identifies the board, closes
// the connection and reacts when the link is lost. Every board call goes
// through the worker; the panel acts on its answers.
#pragma once

#include <QObject>

#include "board_worker.h"
#include "console_context.h"

class connection_panel : public QObject {
    Q_OBJECT
public:
    explicit connection_panel(const console_context& ctx, QObject* parent = nullptr);

    void set_eth_connect_type(int state);
    void start_eth_connect();
    void start_eth_poll();
    // After a language change: the connect button's caption again, as the
    // connection has it.
    void retranslate();

    bool static_mode() const { return static_connect; }
    // The connected board reported firmware major 0 (its application erased).
    bool mcu_erased() const { return erased; }
    // Connections opened so far: tells one from the next.
    unsigned connections() const { return serial; }

public slots:
    // A transfer is under way: the connection stays as it is until it ends.
    void set_transfer_running(bool running);

signals:
    // A connection to a known product is open (its count, its identity).
    void connected(unsigned serial, bool mcu_erased);
    // The connection is closed, by the user or because the link was lost.
    void connection_closed();

private:
    void open_device();
    void close_device();
    void device_disconnected(int dev_id);
    void show_list(const board_list& list);
    void identified(const board_identity& who);
    void closed();
    void show_connect_caption(bool close);

    console_context ctx;
    bool static_connect = false;
    bool erased = false;
    bool opening = false;  // a connect is under way
    unsigned serial = 0;
    bool close_caption = false;  // the connect button offers to close
};
