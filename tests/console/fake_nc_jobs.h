// A device object that runs NC jobs without a board: each job records its
// start line and, while the gate is closed, waits for it to open.
#pragma once

#include <QMutex>
#include <QWaitCondition>
#include <vector>

#include "pelk_cnc.h"

class fake_device : public pelk_cnc {
public:
    void close_gate()
    {
        QMutexLocker l(&m);
        open = false;
    }
    void open_gate()
    {
        QMutexLocker l(&m);
        open = true;
        cv.wakeAll();
    }
    // Waits until n jobs have started.
    bool wait_started(size_t n, unsigned long ms = 10000)
    {
        QMutexLocker l(&m);
        while (lines.size() < n)
            if (!cv.wait(&m, ms)) return false;
        return true;
    }
    std::vector<uint32_t> started()
    {
        QMutexLocker l(&m);
        return lines;
    }

    // Returns the start line as its result, so tests can tell jobs apart.
    int cnc_start_nc_file(uint32_t start_line, char*, uint8_t) override
    {
        QMutexLocker l(&m);
        lines.push_back(start_line);
        cv.wakeAll();
        while (!open) cv.wait(&m);
        return int(start_line);
    }

    int cnc_open_dev(char*, pelk_close_callback, void*) override { return -4; }
    int cnc_open_dev_index(int, pelk_close_callback, void*) override { return -4; }
    int cnc_close_dev() override { return 0; }
    bool cnc_dev_state() override { return false; }
    int cnc_dev_poll(char*, char*) override { return 2; }
    int cnc_dev_stop() override { return -4; }
    int cnc_dev_continue() override { return -4; }
    int cnc_dev_reset() override { return -4; }
    int cnc_dev_home() override { return -4; }
    int cnc_parser(const char*) override { return -4; }
    int cnc_get_results(uint8_t*, uint16_t, uint16_t*) override { return -4; }
    int cnc_get_status(cnc_status*) override { return -4; }
    int cnc_save_param(uint32_t) override { return -4; }
    int cnc_write_param() override { return -4; }
    int cnc_write_param_from_buffer(uint8_t*, uint16_t) override { return -4; }
    int cnc_read_param() override { return -4; }
    int cnc_read_param_to_buffer(uint8_t*, uint16_t) override { return -4; }
    int cnc_load_param(uint32_t) override { return -4; }
    int cnc_write_user_data(uint8_t*, uint32_t, uint32_t) override { return -4; }
    int cnc_read_user_data(uint8_t*, uint32_t, uint32_t) override { return -4; }
    int cnc_ar_change_pad(uint8_t, uint8_t) override { return -4; }
    int cnc_ar_cylinder(bool) override { return -4; }
    int cnc_ar_home() override { return -4; }
    int cnc_ar_get_point(uint32_t*) override { return -4; }
    int cnc_ar_get_log(char*, uint16_t) override { return -4; }
    int cnc_ar_get_version(int32_t*) override { return -4; }
    int cnc_rgb_set_state(uint8_t, uint8_t, uint32_t) override { return -4; }

private:
    QMutex m;
    QWaitCondition cv;
    bool open = true;
    std::vector<uint32_t> lines;
};
