// The FPGA configuration flash and the MCU application: write (with
// read-back verification where the board allows it), read and erase.
#include <cstdio>

#include "cnc_tasks.h"
#include "commands.h"
#include "exit_codes.h"
#include "interrupt.h"
#include "local_files.h"
#include "output.h"
#include "transfer_common.h"
#include "transfer_safety.h"

namespace {

// The most a read fetches when no size is given; a read ends earlier at the
// board's first short answer.
constexpr uint32_t DEFAULT_READ_SIZE = 209715200;

int verify_fpga(session& s, const std::string& file, uint64_t size)
{
    temp_file back;
    if (back.path.empty() || back.path.size() > 255)
        return fail(rc::local_file, "cannot make a temporary file for the read-back");
    bool same = false;
    uint64_t where = 0;
    transfer_outcome t = run_observed(s, "fpga verify", (size + 3) & ~uint64_t(3), [&](const cnc::transfer_observer& o) {
        return cnc::verify_fpga_image(*s.dev, file, size, back.path, o, &same, &where);
    });
    if (t.interrupted)
        return fail(rc::interrupted, "fpga verify: interrupted: the image is written but not verified (fpga write "
                    "again checks it)");
    if (t.result == PELK_ERR_FILE) return fail(rc::local_file, "fpga verify: cannot read the read-back copy");
    if (t.result != PELK_OK) return s.failed(t.result, "fpga verify: reading the flash back");
    if (!same)
        return fail(rc::verify, "fpga verify: the flash differs from %s at byte %llu", file.c_str(),
                    static_cast<unsigned long long>(where));
    return rc::ok;
}

}  // namespace

int cmd_fpga_write(session& s, const options& o, const args_list& args)
{
    const std::string& file = args[0];
    uint64_t size = 0;
    if (int code = check_image(o, pelk::image_target::fpga, file, &size); code != rc::ok) return code;
    if (o.skip_same) say("fpga write: --skip-same: the board offers no checksum of the FPGA flash; writing");
    catch_interrupt();
    _flash_msg m = cnc::transfer_request(FLASH_TARGET_FPGA, FLASH_OP_WRITE, file);
    transfer_outcome t = run_transfer(s, "fpga write", size, m);
    // The flash was erased first and the FPGA stays held in programming:
    // a partial image never starts.
    if (t.interrupted)
        return transfer_cut(s, "fpga write", "FPGA flash", t.result == PELK_OK ? size : t.bytes, size,
                            t.result == PELK_OK ? "not verified; run fpga write again to check it"
                                                : "the board will not start this image; write it again");
    if (t.result != PELK_OK) return s.failed(t.result, "fpga write");
    if (o.verify)
        if (int code = verify_fpga(s, file, size); code != rc::ok) return code;
    report_transfer(s, "fpga write", t, o.verify ? verification::done : verification::skipped);
    return rc::ok;
}

int cmd_fpga_read(session& s, const options& o, const args_list& args)
{
    const std::string& file = args[0];
    if (int code = check_name_length(file); code != rc::ok) return code;
    if (FILE* f = std::fopen(file.c_str(), "ab")) std::fclose(f);
    else return fail(rc::local_file, "%s: cannot be written", file.c_str());
    _flash_msg m = cnc::transfer_request(FLASH_TARGET_FPGA, FLASH_OP_READ, file);
    m.size = o.size_set ? o.size : DEFAULT_READ_SIZE;
    transfer_outcome t = run_transfer(s, "fpga read", o.size_set ? m.size : 0, m);
    if (t.result != PELK_OK) return s.failed(t.result, "fpga read");
    // The counter misses a short last chunk; the file holds everything.
    if (FILE* f = std::fopen(file.c_str(), "rb")) {
        std::fseek(f, 0, SEEK_END);
        t.bytes = uint64_t(std::ftell(f));
        std::fclose(f);
    }
    report_transfer(s, "fpga read", t, verification::not_applicable);
    s.put("file", file);
    return rc::ok;
}

int cmd_fpga_erase(session& s, const options&, const args_list&)
{
    _flash_msg m = cnc::transfer_request(FLASH_TARGET_FPGA, FLASH_OP_ERASE, "");
    if (int r = s.dev->mcu_bsp_fpga_flash(&m); r != PELK_OK) return s.failed(r, "fpga erase");
    say("fpga erase: done");
    return rc::ok;
}

int cmd_mcu_write(session& s, const options& o, const args_list& args)
{
    const std::string& file = args[0];
    uint64_t size = 0;
    if (int code = check_image(o, pelk::image_target::mcu_app, file, &size); code != rc::ok) return code;
    if (o.skip_same) say("mcu write: --skip-same: the board cannot read the application back; writing");
    // Only a board in its loader (firmware major version 0) takes a new
    // application; a running one is refused before anything is sent.
    unsigned int word = 0;
    if (int r = s.dev->mcu_bsp_get_version(&word); r != PELK_OK) return s.failed(r, "mcu write: reading the version");
    cnc::version_info version = cnc::split_version(word);
    if (version.major != 0)
        return fail(rc::refused, "mcu write: the board runs firmware %u.%u; only a board in its loader (major 0) "
                    "takes an application", version.major, version.minor);
    catch_interrupt();
    _flash_msg m = cnc::transfer_request(FLASH_TARGET_APP, FLASH_OP_WRITE, file);
    transfer_outcome t = run_transfer(s, "mcu write", size, m);
    // A cut write never sends the closing command, so the board does not
    // take the partial application and stays in its loader.
    if (t.interrupted && t.result != PELK_OK)
        return transfer_cut(s, "mcu write", "MCU application", t.bytes, size,
                            "not taken: the board stays in its loader; write it again");
    if (t.result != PELK_OK) return s.failed(t.result, "mcu write");
    report_transfer(s, "mcu write", t, verification::impossible);
    return rc::ok;
}
