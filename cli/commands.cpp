#include "commands.h"

namespace {

using rm = report_mode;

const std::vector<command_spec> table = {
    {"discover", 0, 0, "json", false, rm::none, cmd_discover, "",
     "list the boards that answer discovery",
     "Lists the index, machine id and address of every board that answers\n"
     "discovery, ordered by address (the order --index and --all use). Fails\n"
     "with the no-board code when none answers.\n"},
    {"info", 0, 0, "json all record", true, rm::always, cmd_info, "",
     "product, variant, firmware versions and board identifier",
     "Connects and prints the product, hardware variant, firmware version, drive\n"
     "firmware version and 12-byte board identifier. A product id the board\n"
     "reports outside the known products is refused. With --all every\n"
     "discovered board is asked at once and a table is printed at the end.\n"},
    {"status", 0, 0, "json watch", true, rm::none, cmd_status, "",
     "the machine status block",
     "Prints the machine status: run state, executing and parsed line, positions,\n"
     "limit switches, inputs, spindle speeds, tools, alarm and download progress.\n"
     "Inputs are ticked when active (air pressure, door and drawer when their\n"
     "line is low); JSON gives the levels (inputs) and the same ticks\n"
     "(inputs_active). An alarm comes with its meaning and what to do.\n"
     "  --watch       refresh every 500 ms until Ctrl-C (exit 0); with --json one\n"
     "                object per line, else the block redrawn on a terminal\n"},
    {"gcode", 1, 1000, "json", true, rm::none, cmd_gcode, "LINE...",
     "send command lines to the machine's interpreter",
     "Sends each LINE (G-code or a \"$\" command) in order and reads the\n"
     "interpreter's answer after each. A line the interpreter rejects or one that\n"
     "raises an alarm ends the command: the board's reason is printed on standard\n"
     "error as \"[LINE]: reason\", with the alarm code when the machine raised an\n"
     "alarm and the program code otherwise. The result text of the lines sent is\n"
     "printed on standard output at the end (with --json as the member \"result\"\n"
     "of an object that also gives \"sent\" and \"ok\").\n"},
    {"stop", 0, 0, "", true, rm::none, cmd_stop, "", "pause the machine", "Pauses the running job.\n"},
    {"continue", 0, 0, "", true, rm::none, cmd_continue, "", "continue a paused job",
     "Continues a paused job.\n"},
    {"reset", 0, 0, "", true, rm::none, cmd_reset, "", "reset the machine", "Resets the machine.\n"},
    {"home", 0, 0, "", true, rm::none, cmd_home, "", "home all axes",
     "Homes the machine (g28.2 on every axis).\n"},
    {"check", 1, 1, "json setting id index static address", false, rm::none, cmd_check, "FILE",
     "check an NC program without running it",
     "Reads FILE as the machine's interpreter would and prints its line count,\n"
     "the lines the machine cannot run (\"line N: WORD: why\", the first 20), the\n"
     "moves beyond the travel, the extent of the motion per axis in machine\n"
     "coordinates (mm, deg for A B C) and the estimated duration. Needs no board:\n"
     "the default machine settings apply (travel of +-1000 mm on X Y Z U V W),\n"
     "unless a board is chosen with --id, --index or --static, which is then asked\n"
     "for its own. Exits with the program code when the machine cannot run FILE\n"
     "or FILE is not text.\n"
     "  --setting KEY=VALUE  change one machine setting, repeatable: rate.X and\n"
     "                accel.X (per axis, units/min and units/s2), travel.X=MIN:MAX,\n"
     "                MAX or none, junction, arc_tolerance (mm), tool_change (s),\n"
     "                feed (units/min until F), lookahead (moves)\n"
     "  --json        one object: lines, unsupported, beyond_travel ({line, word,\n"
     "                text} each), extents, estimated_seconds, runnable, not_text\n"},
    {"run", 1, 1, "from check json setting force continue-at-stops record", true, rm::json_only, cmd_run, "FILE",
     "run an NC program and follow it to its end",
     "Checks FILE first against the board's machine settings (as check does; the\n"
     "defaults when the board gives none, --setting on top). A file that is not\n"
     "text is refused, and so is one with lines the machine cannot run or moves\n"
     "beyond the travel, unless --force. Then numbers FILE, compares it with the\n"
     "board's copy (by size, or by checksum with --check), announces the job from\n"
     "line --from (default 0), downloads it when the copies differ, and shows\n"
     "line, positions, run state, elapsed and estimated remaining time until the\n"
     "job ends. Lines the board rejects are reported with its reason (program\n"
     "code); an alarm ends the job with the board's text (alarm code). When the\n"
     "program stops itself at M0 the job waits for continue, or is continued\n"
     "with --continue-at-stops. Ctrl-C pauses the machine at once and tells the\n"
     "line it paused at, then asks whether to stop the job (reset) or continue\n"
     "it; a second Ctrl-C while asking stops it. Without a terminal to ask on\n"
     "the machine stays paused (exit 130). The numbered copy (NAME_N.nc) is\n"
     "made in the working directory and removed once the job has started.\n"
     "  --from LINE   line to start from\n"
     "  --check       compare with the board's copy by checksum instead of size\n"
     "  --setting KEY=VALUE  change a machine setting for the check (see check)\n"
     "  --force       run even when the check finds lines the machine cannot run\n"
     "  --continue-at-stops  continue the job at each M0 instead of waiting\n"},
    {"fpga write", 1, 1, "json no-verify all capacity record skip-same", true, rm::json_only, cmd_fpga_write, "FILE",
     "erase and program the FPGA configuration flash",
     "Erases the FPGA configuration flash, programs FILE into it and releases\n"
     "the FPGA. Unless --no-verify, the flash is then read back and compared\n"
     "with FILE. Reading the flash holds the FPGA's programming line low, as\n"
     "fpga read does, so a verified board loads the new image when it restarts.\n"
     "Before anything is erased FILE is checked: an empty file, one larger than\n"
     "the flash (16 MiB; --capacity BYTES for a board family not known here) and\n"
     "a text file (an NC program, a listing) are refused with the local-file\n"
     "code. Ctrl-C ends the write after the chunk in flight and says how much of\n"
     "the image the flash holds (exit 130). --record FILE appends a JSON line\n"
     "about the write; --skip-same is answered with a note: the board offers no\n"
     "checksum of the flash, so the image is written.\n"},
    {"fpga read", 1, 1, "json size", true, rm::json_only, cmd_fpga_read, "FILE",
     "read the FPGA configuration flash back into FILE",
     "Reads the flash into FILE until the board has no more data, or --size\n"
     "bytes (default 209715200).\n"},
    {"fpga erase", 0, 0, "json", true, rm::json_only, cmd_fpga_erase, "", "erase the FPGA configuration flash",
     "Erases the FPGA configuration flash.\n"},
    {"mcu write", 1, 1, "json no-verify all capacity record skip-same", true, rm::json_only, cmd_mcu_write, "FILE",
     "write the MCU application",
     "Writes FILE as the MCU application. Only a board whose firmware reports\n"
     "major version 0 (erased, in its loader) takes it; others are refused. The\n"
     "board cannot read the application back, so it is not verified. FILE is\n"
     "checked first as for fpga write (at most 1 MiB). Ctrl-C, --record and\n"
     "--skip-same as for fpga write.\n"},
    {"sd put", 1, 1, "json no-verify all capacity record skip-same as", true, rm::json_only, cmd_sd_put, "FILE",
     "copy a file to the SD card",
     "Copies FILE to the board's SD card under its base name (spindle.bin for\n"
     "/some/dir/spindle.bin), or under NAME with --as NAME. Unless --no-verify, the card's checksum of the file is compared\n"
     "with the local one afterwards. An empty file and one of 4 GiB or more are\n"
     "refused. Ctrl-C ends the copy after the chunk in flight and erases the\n"
     "partial file on the card (exit 130). --skip-same leaves a file the card\n"
     "holds with the same size and checksum. --record as for fpga write.\n"},
    {"sd get", 1, 1, "json no-verify size", true, rm::json_only, cmd_sd_get, "NAME",
     "copy a file from the SD card",
     "Copies NAME from the SD card into the local file NAME (missing local\n"
     "folders are made). Unless --no-verify, the copy's checksum is compared with\n"
     "the card's.\n"},
    {"sd rm", 1, 1, "json", true, rm::json_only, cmd_sd_rm, "NAME", "erase a file on the SD card",
     "Erases NAME on the SD card; a missing file is refused.\n"},
    {"sd ls", 0, 0, "", true, rm::none, cmd_sd_ls, "", "list the SD card (not possible: see --help)",
     "The board answers for one named file at a time and has no request that\n"
     "lists its card, so sd ls is refused (refused code). sd stat NAME tells\n"
     "whether NAME is on the card.\n"},
    {"sd stat", 1, 1, "json", true, rm::always, cmd_sd_stat, "NAME", "size and checksum of a file on the SD card",
     "Prints the size and checksum of NAME on the SD card; a missing file is\n"
     "refused.\n"},
    {"sd format", 0, 0, "json yes", true, rm::json_only, cmd_sd_format, "", "format the SD card",
     "Formats the board's SD card. Asks first on a terminal; --yes skips the\n"
     "question (and is needed without a terminal). Do not run jobs meanwhile.\n"},
    {"update spindle", 1, 1, "json no-verify capacity record skip-same", true, rm::json_only, cmd_update_spindle, "FILE",
     "update the spindle drive firmware",
     "Stages FILE on the SD card, checks it there (unless --no-verify), starts\n"
     "the spindle drive update and follows the board's progress to its end.\n"
     "FILE is checked first as for fpga write (at most 1 MiB, not text). Ctrl-C\n"
     "while staging erases the partial file on the card; once the board updates\n"
     "the drive it carries on by itself. --record as for fpga write.\n"},
    {"update dc", 1, 1, "json no-verify capacity record skip-same", true, rm::json_only, cmd_update_dc, "FILE",
     "update the dc drive firmware", "As update spindle, for the dc drive.\n"},
    {"update boot", 1, 1, "json no-verify capacity record skip-same", true, rm::json_only, cmd_update_boot, "FILE",
     "update the boot program from the SD card", "As update spindle, for the MCU's boot program.\n"},
    {"update app", 1, 1, "json no-verify capacity record skip-same", true, rm::json_only, cmd_update_app, "FILE",
     "update the MCU application from the SD card", "As update spindle, for the MCU application.\n"},
    {"params get", 0, 1, "json", true, rm::none, cmd_params_get, "[INDEX]",
     "print the active parameter table",
     "Prints the active parameter table, \"INDEX VALUE\" per line (params set\n"
     "reads it back), or the value at INDEX.\n"},
    {"params set", 1, 2, "json", true, rm::none, cmd_params_set, "FILE | INDEX VALUE",
     "write the active parameter table",
     "Writes the values of FILE (one per line as in param.txt, or \"INDEX VALUE\"\n"
     "as params get prints them; \"-\" reads standard input) as the active table,\n"
     "or changes the value at INDEX and writes the table back. A FILE with a line\n"
     "that is not a number, or with another count of values than the board's\n"
     "table, is refused before anything is sent (local-file code).\n"},
    {"params save", 1, 1, "json", true, rm::none, cmd_params_save, "BLOCK",
     "store the active table in flash block 0 or 1", "Stores the active table in flash block BLOCK (0 or 1).\n"},
    {"params load", 1, 1, "json", true, rm::none, cmd_params_load, "BLOCK",
     "make flash block 0 or 1 the active table", "Makes flash block BLOCK (0 or 1) the active table.\n"},
    {"userdata get", 0, 0, "json", true, rm::always, cmd_userdata_get, "",
     "machine identifier and machine type",
     "Prints the machine identifier and machine type kept in the board's\n"
     "user-data area. A board that never had an identifier written shows none\n"
     "(machine_id_written false).\n"},
    {"userdata set", 2, 2, "json truncate", true, rm::none, cmd_userdata_set, "id TEXT | type M81|M81DC|R28",
     "store the machine identifier or the machine type",
     "id TEXT stores the identifier (up to 15 bytes; a longer one is refused\n"
     "unless --truncate, which cuts it at a character boundary). type NAME stores the machine type and keeps the rest\n"
     "of the record as the board holds it.\n"},
};

const char* const groups[] = {"fpga", "mcu", "sd", "update", "params", "userdata"};

}  // namespace

const std::vector<command_spec>& command_table() { return table; }

bool is_group(const std::string& word)
{
    for (const char* g : groups)
        if (word == g) return true;
    return false;
}

const command_spec* find_command(const std::vector<std::string>& words, size_t* used)
{
    if (words.empty()) return nullptr;
    std::string name = words[0];
    size_t n = 1;
    if (is_group(name)) {
        if (words.size() < 2) return nullptr;
        name += " " + words[1];
        n = 2;
    }
    for (const auto& c : table)
        if (name == c.name) {
            if (used) *used = n;
            return &c;
        }
    return nullptr;
}
