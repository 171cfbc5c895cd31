#include "all_boards.h"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

#include "exit_codes.h"
#include "interrupt.h"
#include "output.h"
#include "progress.h"
#include "record.h"
#include "report.h"

namespace {

struct row {
    board_entry board;
    int code = rc::ok;
    std::string error;
    std::vector<report_field> report;
};

// One board from connection to its row, on the calling thread with a
// session (and so a board object and connection) of its own.
row run_one(const board_entry& b, const options& o, const command_spec& c, const args_list& args,
            unsigned interrupts_at_start)
{
    set_message_prefix("board " + std::to_string(b.index) + " [" + b.machine_id + "]: ");
    clear_failure();
    row out;
    out.board = b;
    if (interrupt_count() != interrupts_at_start) {
        // Ctrl-C came before this board's turn: it is left as it was.
        out.code = fail(rc::interrupted, "interrupted before this board's turn; nothing was sent to it");
        out.error = last_failure();
        set_message_prefix("");
        return out;
    }
    session one;
    one.discover_wait_ms = o.discover_wait_ms;
    int r = one.open_entry(b);
    if (r == rc::ok) {
        record_context rec = record_begin(one, o, c);
        r = c.run(one, o, args);
        r = record_end(rec, one, o, c, args, r);
    }
    one.close();
    // The board's own columns are in the table already.
    for (auto& f : one.report)
        if (f.key != "machine_id" && f.key != "index" && f.key != "address") out.report.push_back(f);
    out.code = r;
    if (r != rc::ok) out.error = last_failure();
    set_message_prefix("");
    return out;
}

void print_rows(const std::vector<row>& rows, bool json)
{
    if (json) {
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
        return;
    }
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
        if (r.code != rc::ok) say("board %d [%s] failed: %s", r.board.index, r.board.machine_id.c_str(), r.error.c_str());
}

}  // namespace

int run_on_all_boards(session& s, const options& o, const command_spec& c, const args_list& args)
{
    std::vector<board_entry> boards;
    int code = s.discover(boards);
    if (code != rc::ok) {
        if (o.json) std::printf("[]\n");
        return code;
    }
    size_t jobs = o.jobs ? std::min<size_t>(o.jobs, boards.size()) : boards.size();
    say("%zu board%s found%s", boards.size(), boards.size() == 1 ? "" : "s",
        jobs > 1 ? (", " + std::to_string(jobs) + " at once").c_str() : "");
    // Several boards cannot share one redrawn progress line.
    progress_in_lines(jobs > 1);

    std::vector<row> rows(boards.size());
    std::atomic<size_t> next{0};
    const unsigned interrupts_at_start = interrupt_count();
    auto worker = [&]() {
        // A working directory of this thread's own: sd put may change it
        // to hand the library a file under its card name.
        ::unshare(CLONE_FS);
        for (size_t i; (i = next++) < boards.size();) rows[i] = run_one(boards[i], o, c, args, interrupts_at_start);
    };
    std::vector<std::thread> threads;
    for (size_t k = 0; k < jobs; ++k) threads.emplace_back(worker);
    for (auto& t : threads) t.join();
    progress_in_lines(false);

    // Rows stay in index order whatever order the boards finished in; the
    // exit code is that of the first failed board in that order.
    print_rows(rows, o.json);
    size_t failed = 0;
    int first_failure = rc::ok;
    for (const auto& r : rows) {
        failed += r.code != rc::ok;
        if (r.code != rc::ok && first_failure == rc::ok) first_failure = r.code;
    }
    say("%zu of %zu boards succeeded", rows.size() - failed, rows.size());
    return first_failure;
}
