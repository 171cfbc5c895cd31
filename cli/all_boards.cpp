#include "all_boards.h"

#include <algorithm>
#include <cstdio>

#include "exit_codes.h"
#include "output.h"
#include "record.h"
#include "report.h"

int run_on_all_boards(session& s, const options& o, const command_spec& c, const args_list& args)
{
    std::vector<board_entry> boards;
    int code = s.discover(boards);
    if (code != rc::ok) {
        if (o.json) std::printf("[]\n");
        return code;
    }
    say("%zu board%s found", boards.size(), boards.size() == 1 ? "" : "s");

    struct row {
        board_entry board;
        int code;
        std::string error;
        std::vector<report_field> report;
    };
    std::vector<row> rows;
    int first_failure = rc::ok;
    for (const auto& b : boards) {
        set_message_prefix("board " + std::to_string(b.index) + " [" + b.machine_id + "]: ");
        clear_failure();
        s.report.clear();
        int r = s.open_entry(b);
        if (r == rc::ok) {
            record_context rec = record_begin(s, o, c);
            r = c.run(s, o, args);
            r = record_end(rec, s, o, c, args, r);
        }
        s.close();
        // The board's own columns are in the table already.
        std::vector<report_field> fields;
        for (auto& f : s.report)
            if (f.key != "machine_id" && f.key != "index" && f.key != "address") fields.push_back(f);
        rows.push_back({b, r, r == rc::ok ? "" : last_failure(), fields});
        if (r != rc::ok && first_failure == rc::ok) first_failure = r;
    }
    set_message_prefix("");

    if (o.json) {
        std::vector<std::string> items;
        for (const auto& r : rows) {
            json_object obj;
            obj.integer("index", r.board.index).str("machine_id", r.board.machine_id).str("address", r.board.address);
            obj.boolean("ok", r.code == rc::ok);
            for (const auto& f : r.report) obj.raw(f.key, f.json);
            if (r.code != rc::ok) obj.str("error", r.error).integer("exit_code", r.code);
            items.push_back(obj.text());
        }
        std::printf("%s\n", json_array(items).c_str());
    } else {
        // Columns: the fixed ones, then every report key in order of appearance.
        std::vector<std::string> keys;
        for (const auto& r : rows)
            for (const auto& f : r.report)
                if (std::find(keys.begin(), keys.end(), f.key) == keys.end()) keys.push_back(f.key);
        std::vector<std::string> header = {"index", "machine id", "address", "result"};
        header.insert(header.end(), keys.begin(), keys.end());
        std::vector<std::vector<std::string>> table;
        for (const auto& r : rows) {
            std::vector<std::string> cells = {std::to_string(r.board.index), r.board.machine_id,
                                              r.board.address.empty() ? "-" : r.board.address,
                                              r.code == rc::ok ? "ok" : "FAILED (" + std::to_string(r.code) + ")"};
            for (const auto& k : keys) {
                std::string v = "-";
                for (const auto& f : r.report)
                    if (f.key == k) v = f.text;
                cells.push_back(v);
            }
            table.push_back(cells);
        }
        print_table(header, table);
        for (const auto& r : rows)
            if (r.code != rc::ok)
                say("board %d [%s] failed: %s", r.board.index, r.board.machine_id.c_str(), r.error.c_str());
    }
    size_t failed = 0;
    for (const auto& r : rows) failed += r.code != rc::ok;
    say("%zu of %zu boards succeeded", rows.size() - failed, rows.size());
    return first_failure;
}
