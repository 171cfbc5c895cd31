// Firmware updates staged on the SD card: the spindle and dc drives, the
// boot program and the MCU application. The file goes to the card, is checked
// there, and the board's own progress is followed to the end of the update.
#include <chrono>

#include "cnc_tasks.h"
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
constexpr unsigned STALL_LIMIT_MS = 30000;
constexpr unsigned POLL_PERIOD_MS = 100;

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

// Puts the file on the card and starts the unit's update from it.
int stage_and_start(session& s, unit u, const std::string& file, const cnc::transfer_observer& observer)
{
    switch (u) {
    case unit::spindle:
    case unit::dc: {
        _flash_msg m = cnc::transfer_request(u == unit::spindle ? FLASH_TARGET_SPINDLE : FLASH_TARGET_DC, 0, file);
        return cnc::run_transfer(*s.dev, m, observer);
    }
    case unit::boot:
    case unit::app: {
        s.dev->observe_transfers(observer);
        int r = u == unit::boot ? s.dev->mcu_bsp_update_boot_from_sd(file.c_str(), uint16_t(file.size()))
                                : s.dev->mcu_bsp_update_app_from_sd(file.c_str(), uint16_t(file.size()));
        s.dev->observe_transfers({});
        return r;
    }
    }
    return PELK_ERR_RANGE;
}

// Follows the board's count until the update ends, with pelkctl's messages.
int follow_progress(session& s, const char* label, uint64_t size)
{
    progress_display bar(std::string(label) + " (board)", size);
    bool interrupted = false;
    cnc::update_outcome out = cnc::follow_update(*s.dev, size, {POLL_PERIOD_MS, STALL_LIMIT_MS}, [&](uint64_t shown) {
        bar.update(shown);
        interrupted = take_interrupt();
        return !interrupted;
    });
    switch (out.end) {
    case cnc::update_end::finished: bar.finish(size); return rc::ok;
    case cnc::update_end::read_failed: return s.failed(out.result, "reading the update progress");
    case cnc::update_end::board_failed:
        bar.finish(0);
        return fail(rc::refused, "%s: the board reports that the update failed", label);
    case cnc::update_end::stalled: {
        bar.finish(out.shown);
        // The board's own count: the image less the part it does not count.
        uint64_t lead = size >= cnc::UPDATE_PROGRESS_LEAD ? cnc::UPDATE_PROGRESS_LEAD : 0;
        return fail(rc::refused, "%s: no progress for %u s, stopped at %llu of %llu bytes", label,
                    STALL_LIMIT_MS / 1000, static_cast<unsigned long long>(out.shown - lead),
                    static_cast<unsigned long long>(size));
    }
    case cnc::update_end::stopped: break;
    }
    // The board updates the unit from the card by itself; nothing from here
    // can stop it halfway safely.
    bar.finish(out.shown);
    s.put("interrupted", "yes", "true");
    return fail(rc::interrupted,
                "%s: interrupted: the board carries on with the update by itself (%llu of %llu bytes so "
                "far); leave it powered until it ends",
                label, static_cast<unsigned long long>(out.shown), static_cast<unsigned long long>(size));
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
    transfer_outcome t = run_observed(s, std::string(label) + " (staging)", size,
                                      [&](const cnc::transfer_observer& obs) { return stage_and_start(s, u, file, obs); });
    if (t.interrupted && t.result != PELK_OK) {
        // The update never started: the unit keeps what it runs. The cut
        // copy on the card goes, so no later update starts from it.
        bool removed = sd_remove_partial(s, file);
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
