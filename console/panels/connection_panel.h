// The connection group: lists the controllers found, opens a connection by
// list entry or to the link's fixed address, identifies the board, closes
// the connection and reacts when the link is lost.
#pragma once

#include <cstdint>
#include <thread>

struct console_context;

class connection_panel {
public:
    explicit connection_panel(console_context& ctx);
    // Later close callbacks for this panel do nothing.
    ~connection_panel();
    connection_panel(const connection_panel&) = delete;
    connection_panel& operator=(const connection_panel&) = delete;

    void set_eth_connect_type(int state);
    void start_eth_connect();
    void start_eth_poll();
    // After a language change: the connect button's caption again, as the
    // connection has it.
    void retranslate();

    // The link's close callback. ctx identifies the panel that opened the
    // link. On the GUI thread (a close the user asked for) it acts at once;
    // on the link's receive thread (the link was lost) it hands the work to
    // the GUI thread with a queued call, so no widget, log line or discovery
    // is touched off the GUI thread. Returns 0.
    static int on_device_disconnect(void* ctx, int dev_id);

private:
    void open_device();
    void close_device();
    void device_disconnected(int dev_id);
    void show_connect_caption(bool close);

    console_context& ctx;
    std::thread::id gui_thread;  // the thread that made the panel
    intptr_t token;              // handed to the link as the callback's context
    bool close_caption = false;  // the connect button offers to close
};
