// Firmware updates staged on the SD card: the spindle and dc drives, the
// boot program and the MCU application. The file goes to the card, is checked
// there, and the board's own progress is followed to the end of the update.
#include <chrono>
#include <thread>

#include "commands.h"
#include "exit_codes.h"
#include "interrupt.h"
#include "local_files.h"
#include "output.h"
#include "progress.h"
#include "sd_queries.h"
#include "transfer_common.h"
#include "transfer_safety.h"

namespace {

enum class unit { spindle, dc, boot, app };

// An update that makes no progress for this long has stopped.
constexpr auto STALL_LIMIT = std::chrono::seconds(30);
constexpr auto POLL_PERIOD = std::chrono::milliseconds(100);

const char* name_of(unit u)
{
    switch (u) {
    case unit::spindle: return "update spindle";
    case unit::dc: return "update dc";
    case unit::boot: return "update boot";
    case unit::app: return "update app";
    }
    return "update";
}

int stage_and_start(unit u, const std::string& file)
{
    _flash_msg m = make_request(0, 0, file);
    switch (u) {
    case unit::spindle: return mcu_bsp_update_spindle(&m);
    case unit::dc: return mcu_bsp_update_dc(&m);
    case unit::boot: return mcu_bsp_update_boot_from_sd(file.c_str(), uint16_t(file.size()));
    case unit::app: return mcu_bsp_update_app_from_sd(file.c_str(), uint16_t(file.size()));
    }
    return PELK_ERR_RANGE;
}

// Follows the board's counter until it reaches the end of the file. The
// board counts the image without its last 128 bytes; a shorter file ends at
// its own size.
int follow_progress(session& s, const char* label, uint64_t size)
{
    uint64_t end = size >= 128 ? size - 128 : size;
    progress_display bar(std::string(label) + " (board)", size);
    int32_t last = -2;
    auto last_change = std::chrono::steady_clock::now();
    for (;;) {
        int32_t value = 0;
        if (int r = mcu_bsp_read_progress(&value); r != PELK_OK) return s.failed(r, "reading the update progress");
        if (value < 0) {
            bar.finish(0);
            return fail(rc::refused, "%s: the board reports that the update failed", label);
        }
        uint64_t shown = std::min<uint64_t>(uint64_t(value) + (size >= 128 ? 128 : 0), size);
        bar.update(shown);
        if (uint64_t(value) >= end) {
            bar.finish(size);
            return rc::ok;
        }
        auto now = std::chrono::steady_clock::now();
        if (value != last) {
            last = value;
            last_change = now;
        } else if (now - last_change > STALL_LIMIT) {
            bar.finish(shown);
            return fail(rc::refused, "%s: no progress for %lld s, stopped at %d of %llu bytes", label,
                        static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(STALL_LIMIT).count()),
                        value, static_cast<unsigned long long>(size));
        }
        if (take_interrupt()) {
            // The board updates the unit from the card by itself; nothing
            // from here can stop it halfway safely.
            bar.finish(shown);
            s.put("interrupted", "yes", "true");
            return fail(rc::interrupted,
                        "%s: interrupted: the board carries on with the update by itself (%llu of %llu bytes so "
                        "far); leave it powered until it ends",
                        label, static_cast<unsigned long long>(shown), static_cast<unsigned long long>(size));
        }
        std::this_thread::sleep_for(POLL_PERIOD);
    }
}

pelk::image_target target_of(unit u)
{
    switch (u) {
    case unit::spindle: return pelk::image_target::spindle_drive;
    case unit::dc: return pelk::image_target::dc_drive;
    case unit::boot: return pelk::image_target::boot;
    case unit::app: return pelk::image_target::mcu_app;
    }
    return pelk::image_target::mcu_app;
}

int run_update(session& s, const options& o, const std::string& file, unit u)
{
    const char* label = name_of(u);
    uint64_t size = 0;
    if (int code = check_image(o, target_of(u), file, &size); code != rc::ok) return code;
    if (o.skip_same)
        say("%s: --skip-same: the board offers no checksum of what the unit runs; updating", label);
    catch_interrupt();
    // The library writes the card without reporting progress; the bar shows time only.
    transfer_outcome t = run_transfer(std::string(label) + " (staging)", 0, [&](int32_t*) { return stage_and_start(u, file); });
    if (t.interrupted && t.result != PELK_OK) {
        // The update never started: the unit keeps what it runs. The cut
        // copy on the card goes, so no later update starts from it.
        bool removed = sd_remove_partial(file);
        s.put("interrupted", "yes", "true");
        return fail(rc::interrupted, "%s: interrupted while staging %s on the SD card; the update did not start and "
                    "the unit keeps its firmware; %s",
                    label, file.c_str(), removed ? "the partial copy on the card was erased" :
                                                   "the partial copy on the card could not be erased (sd rm it)");
    }
    if (t.result != PELK_OK) return s.failed(t.result, label);
    t.bytes = size;
    if (o.verify)
        if (int code = sd_verify_checksum(s, file, file, label); code != rc::ok) return code;
    report_transfer(s, label, t, o.verify ? verification::done : verification::skipped);
    auto start = std::chrono::steady_clock::now();
    if (int code = follow_progress(s, label, size); code != rc::ok) return code;
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    say("%s: the board finished the update in %.1f s", label, secs);
    s.put_number("update_seconds", secs);
    return rc::ok;
}

}  // namespace

int cmd_update_spindle(session& s, const options& o, const args_list& a) { return run_update(s, o, a[0], unit::spindle); }
int cmd_update_dc(session& s, const options& o, const args_list& a) { return run_update(s, o, a[0], unit::dc); }
int cmd_update_boot(session& s, const options& o, const args_list& a) { return run_update(s, o, a[0], unit::boot); }
int cmd_update_app(session& s, const options& o, const args_list& a) { return run_update(s, o, a[0], unit::app); }
