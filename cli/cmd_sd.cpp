// Files on the board's SD card: put, get, rm, stat and format.
#include <cstdio>
#include <filesystem>

#include "cnc_tasks.h"
#include "commands.h"
#include "exit_codes.h"
#include "interrupt.h"
#include "local_files.h"
#include "output.h"
#include "card_names.h"
#include "sd_queries.h"
#include "transfer_common.h"
#include "transfer_safety.h"

namespace {
constexpr uint32_t SD_OP_WRITE = 4, SD_OP_READ = 5, SD_OP_ERASE = 6, SD_OP_CHECKSUM = 8, SD_OP_FORMAT = 9;

// An exit code: ok when name is on the card (its size in *size).
int need_file(session& s, const std::string& name, uint32_t* size)
{
    bool exists = false;
    if (int code = sd_file_size(s, name, size, &exists); code != rc::ok) return code;
    if (!exists) return fail(rc::refused, "%s: no such file on the SD card", name.c_str());
    return rc::ok;
}
}  // namespace

int cmd_sd_put(session& s, const options& o, const args_list& args)
{
    const std::string& source = args[0];
    std::string card;
    if (int code = card_name_for(o, source, &card); code != rc::ok) return code;
    uint64_t size = 0;
    if (int code = check_image(o, pelk::image_target::sd_file, source, &size); code != rc::ok) return code;
    // The library reads the file by the name it gives the card: from here on
    // the card's name reaches the local file.
    card_stage stage;
    if (int code = stage.enter(source, card); code != rc::ok) return code;
    const std::string& file = card;
    if (o.skip_same) {
        bool same = false;
        if (int code = sd_holds_same(s, file, size, &same); code != rc::ok) return code;
        if (same) {
            say("sd put: %s: the card holds the same file (size and checksum); skipped", file.c_str());
            s.put("skipped", "yes", "true");
            return rc::ok;
        }
    }
    catch_interrupt();
    _flash_msg m = cnc::transfer_request(FLASH_TARGET_SDCARD, SD_OP_WRITE, file);
    m.check = 1;  // the board checks the data against the checksum sent after it
    transfer_outcome t = run_transfer(s, "sd put", size, m);
    if (t.interrupted && t.result != PELK_OK)
        return transfer_cut(s, "sd put", "SD card file", t.bytes, size,
                            sd_remove_partial(s, file) ? "the partial file on the card was erased"
                                                    : "the partial file on the card could not be erased (sd rm it)");
    if (t.result != PELK_OK) return s.failed(t.result, "sd put");
    if (o.verify)
        if (int code = sd_verify_checksum(s, file, file, "sd put verify"); code != rc::ok) return code;
    if (card != source) say("sd put: %s stored on the card as %s", source.c_str(), card.c_str());
    s.put("name", card);
    report_transfer(s, "sd put", t, o.verify ? verification::done : verification::skipped);
    return rc::ok;
}

int cmd_sd_get(session& s, const options& o, const args_list& args)
{
    const std::string& name = args[0];
    if (int code = check_name_length(name); code != rc::ok) return code;
    uint32_t size = 0;
    if (int code = need_file(s, name, &size); code != rc::ok) return code;
    if (o.size_set && o.size < size) size = o.size;
    std::error_code ec;
    auto parent = std::filesystem::path(name).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent, ec);
    if (FILE* f = std::fopen(name.c_str(), "ab")) std::fclose(f);
    else return fail(rc::local_file, "%s: cannot be written", name.c_str());

    transfer_outcome t;
    if (size == 0) {
        // Nothing to fetch: the local copy is simply empty.
        if (FILE* f = std::fopen(name.c_str(), "wb")) std::fclose(f);
    } else {
        _flash_msg m = cnc::transfer_request(FLASH_TARGET_SDCARD, SD_OP_READ, name);
        m.size = size;
        t = run_transfer(s, "sd get", size, m);
        if (t.result != PELK_OK) return s.failed(t.result, "sd get");
        t.bytes = std::filesystem::file_size(name, ec);
    }
    bool whole = !o.size_set;
    if (o.verify && whole)
        if (int code = sd_verify_checksum(s, name, name, "sd get verify"); code != rc::ok) return code;
    report_transfer(s, "sd get", t, o.verify && whole ? verification::done : verification::skipped);
    return rc::ok;
}

int cmd_sd_rm(session& s, const options&, const args_list& args)
{
    const std::string& name = args[0];
    if (int code = check_name_length(name); code != rc::ok) return code;
    uint32_t size = 0;
    if (int code = need_file(s, name, &size); code != rc::ok) return code;
    _flash_msg m = cnc::transfer_request(FLASH_TARGET_SDCARD, SD_OP_ERASE, name);
    if (int r = s.dev->mcu_bsp_sdcard(&m); r != PELK_OK) return s.failed(r, "sd rm");
    say("sd rm: %s erased", name.c_str());
    s.put("name", name);
    return rc::ok;
}

int cmd_sd_stat(session& s, const options&, const args_list& args)
{
    const std::string& name = args[0];
    if (int code = check_name_length(name); code != rc::ok) return code;
    uint32_t size = 0;
    if (int code = need_file(s, name, &size); code != rc::ok) return code;
    uint32_t card_crc = 0;
    if (int r = cnc::sd_file_checksum(*s.dev, name, &card_crc); r != PELK_OK)
        return s.failed(r, "sd stat: reading the checksum");
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08x", unsigned(card_crc));
    s.put("name", name);
    s.put_number("size", size);
    s.put("checksum", crc);
    return rc::ok;
}

int cmd_sd_format(session& s, const options& o, const args_list&)
{
    if (!o.yes) {
        bool asked = false;
        bool yes = ask_yes_no("Format the SD card of board [" + s.board.machine_id + "]? Every file on it is lost.",
                              &asked);
        if (!asked) return fail(rc::usage, "sd format: no terminal to ask on; add --yes to format");
        if (!yes) return fail(rc::refused, "sd format: not confirmed, nothing done");
    }
    _flash_msg m = cnc::transfer_request(FLASH_TARGET_SDCARD, SD_OP_FORMAT, "");
    if (int r = s.dev->mcu_bsp_sdcard(&m); r != PELK_OK) return s.failed(r, "sd format");
    say("sd format: done");
    return rc::ok;
}

int cmd_sd_ls(session&, const options&, const args_list&)
{
    // The board answers for one file at a time (size, checksum); its
    // protocol has no request that lists the card.
    return fail(rc::refused, "sd ls: the board cannot list its card; ask for a file by name with "
                "`pelkctl sd stat NAME`");
}
