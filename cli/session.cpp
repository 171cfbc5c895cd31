#include "session.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <cstdio>
#include <cstring>

#include "args.h"
#include "exit_codes.h"
#include "output.h"

namespace {
constexpr int MAX_BOARDS = 32;
constexpr int ID_LEN = 12;
// Between discovery passes while --discover-timeout keeps asking.
constexpr auto DISCOVERY_PAUSE = std::chrono::milliseconds(100);

// Dotted IPv4 text as a number for ordering; unknown addresses sort last.
uint64_t address_order(const std::string& text)
{
    unsigned a, b, c, d;
    char end;
    if (std::sscanf(text.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &end) != 4) return UINT64_MAX;
    return uint64_t(a) << 24 | uint64_t(b) << 16 | uint64_t(c) << 8 | d;
}

// This machine itself: discovery's datagrams go out to the network and
// never find a board there, so such an address is opened directly.
bool loopback(const std::string& address) { return address.rfind("127.", 0) == 0; }
}  // namespace

int session::discover_pass(std::vector<board_entry>& found)
{
    found.clear();
    char ids[MAX_BOARDS * ID_LEN] = {};
    char count = 0;
    int r = dev->cnc_dev_poll(ids, &count);
    if (r != 0 || count <= 0) return rc::no_board;
    int n = std::min<int>(count, MAX_BOARDS);
    for (int i = 0; i < n; ++i) {
        board_entry b;
        b.dev_id = i;
        b.raw_id.assign(ids + i * ID_LEN, ID_LEN);
        b.machine_id = std::string(b.raw_id.c_str(), strnlen(b.raw_id.data(), ID_LEN));
        char address[16] = {};
        if (dev->cnc_dev_address(i, address, sizeof address) == PELK_OK) b.address = address;
        found.push_back(b);
    }
    // The link numbers boards in the order their answers arrived, which
    // changes from run to run; ordered by address the list stays the same
    // as long as the same boards answer.
    std::stable_sort(found.begin(), found.end(), [](const board_entry& x, const board_entry& y) {
        uint64_t ax = address_order(x.address), ay = address_order(y.address);
        return ax != ay ? ax < ay : x.machine_id < y.machine_id;
    });
    for (size_t i = 0; i < found.size(); ++i) found[i].index = int(i);
    return rc::ok;
}

int session::discover(std::vector<board_entry>& found, bool quiet,
                      const std::function<bool(const std::vector<board_entry>&)>& wanted)
{
    // The link waits a fixed time for answers in each pass; a longer wait is
    // more passes, the list kept from the last one (boards' numbers belong
    // to the pass that found them).
    auto begin = std::chrono::steady_clock::now();
    auto deadline = begin + std::chrono::milliseconds(discover_wait_ms);
    int code = rc::no_board;
    for (int pass = 1;; ++pass) {
        code = discover_pass(found);
        auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - begin);
        note("discovery pass %d: %zu board%s answered (%lld ms so far)", pass, found.size(),
             found.size() == 1 ? "" : "s", (long long)spent.count());
        for (const auto& b : found)
            note("  [%s] at %s", b.machine_id.c_str(), b.address.empty() ? "an unknown address" : b.address.c_str());
        bool done = code == rc::ok && (!wanted || wanted(found));
        if (done || std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(DISCOVERY_PAUSE);
    }
    if (code != rc::ok) {
        if (quiet) return rc::no_board;
        if (discover_wait_ms)
            return fail(rc::no_board, "no board answered discovery within %u ms", discover_wait_ms);
        return fail(rc::no_board, "no board answered discovery (--discover-timeout MS keeps asking longer)");
    }
    return rc::ok;
}

int session::connect(const options& o)
{
    if (o.use_static) return open_static();
    if (!o.address.empty()) return connect_address(o);
    std::vector<board_entry> found;
    std::function<bool(const std::vector<board_entry>&)> wanted;
    auto has = [&](auto pred) {
        return [pred](const std::vector<board_entry>& list) { return std::any_of(list.begin(), list.end(), pred); };
    };
    if (!o.id.empty()) wanted = has([&o](const board_entry& b) { return b.machine_id == o.id; });
    if (o.index >= 0) wanted = [&o](const std::vector<board_entry>& list) { return size_t(o.index) < list.size(); };
    int code = discover(found, false, wanted);
    if (code != rc::ok) return code;
    auto list = [&]() {
        for (const auto& b : found)
            say("  board %d: machine id [%s]%s%s", b.index, b.machine_id.c_str(), b.address.empty() ? "" : " at ",
                b.address.c_str());
    };
    if (!o.id.empty()) {
        for (const auto& b : found)
            if (b.machine_id == o.id) return open_entry(b);
        int r = fail(rc::no_board, "no board with machine id [%s]; discovery found:", o.id.c_str());
        list();
        return r;
    }
    if (o.index >= 0) {
        if (size_t(o.index) < found.size()) return open_entry(found[size_t(o.index)]);
        int r = fail(rc::no_board, "no board with index %d; discovery found %zu:", o.index, found.size());
        list();
        return r;
    }
    if (found.size() == 1) return open_entry(found[0]);
    int r = fail(rc::no_board, "%zu boards answered; choose one with --id, --index, --address or --static:",
                 found.size());
    list();
    return r;
}

int session::connect_address(const options& o)
{
    auto direct = [&]() {
        if (!open_direct(o.address)) return false;
        note("connected to %s directly (machine id and index unknown)", o.address.c_str());
        return true;
    };
    if (loopback(o.address)) {
        if (direct()) return rc::ok;
        return fail(rc::no_board, "no board at %s took a connection", o.address.c_str());
    }
    // A board that answers discovery is known by its machine id and index
    // as well; one on another subnet is reached directly.
    std::vector<board_entry> found;
    auto there = [&o](const std::vector<board_entry>& list) {
        return std::any_of(list.begin(), list.end(), [&o](const board_entry& b) { return b.address == o.address; });
    };
    discover(found, true, there);
    for (const auto& b : found)
        if (b.address == o.address) return open_entry(b);
    if (direct()) return rc::ok;
    if (found.empty()) return fail(rc::no_board, "no board answered discovery or took a connection at %s",
                                   o.address.c_str());
    int r = fail(rc::no_board, "no board at %s answered discovery or took a connection; discovery found:",
                 o.address.c_str());
    for (const auto& b : found)
        say("  board %d: machine id [%s]%s%s", b.index, b.machine_id.c_str(), b.address.empty() ? "" : " at ",
            b.address.c_str());
    return r;
}

bool session::open_direct(const std::string& address)
{
    close();
    lost = false;
    board = board_entry{};
    board.index = -1;
    board.address = address;
    note("connecting to %s", address.c_str());
    if (dev->cnc_open_dev_address(address.c_str(), on_close, this) != PELK_OK) return false;
    open = true;
    return true;
}

int session::open_entry(const board_entry& b)
{
    close();
    lost = false;
    board = b;
    note("connecting to board %d [%s]%s%s", b.index, b.machine_id.c_str(), b.address.empty() ? "" : " at ",
         b.address.c_str());
    // By address where discovery gave one: it names the board whatever
    // later discovery passes do to the numbering of the list.
    int r = b.address.empty() ? dev->cnc_open_dev_index(b.dev_id, on_close, this)
                              : dev->cnc_open_dev_address(b.address.c_str(), on_close, this);
    if (r != PELK_OK)
        return fail(rc::no_board, "cannot connect to board %d [%s]", b.index, b.machine_id.c_str());
    note("connected");
    open = true;
    return rc::ok;
}

int session::open_static()
{
    close();
    lost = false;
    board = board_entry{};
    board.index = -1;
    board.address = "192.168.8.123";
    note("connecting to the fixed address 192.168.8.123");
    if (dev->cnc_open_dev_index(-1, on_close, this) != PELK_OK)
        return fail(rc::no_board, "cannot connect to the board at the fixed address 192.168.8.123");
    open = true;
    return rc::ok;
}

void session::close()
{
    if (!open) return;
    closing = true;
    dev->cnc_close_dev();
    closing = false;
    open = false;
}

int session::on_close(void* ctx, int)
{
    auto* self = static_cast<session*>(ctx);
    if (!self->closing) self->lost = true;
    return 0;
}

bool session::link_alive()
{
    if (lost) return false;
    return dev->cnc_dev_state();
}

int session::failed(int pelk_result, const char* what)
{
    // What went wrong and what to do, never the library's bare number.
    int code = exit_for_result(pelk_result, link_alive());
    const char* why = "the library reported a failure it does not name; try again, with --verbose to see its steps";
    switch (pelk_result) {
    case PELK_ERR_FILE: why = "a local file could not be opened, read or written; check its path and permissions"; break;
    case PELK_ERR_EMPTY: why = "there was nothing to transfer (an empty file)"; break;
    case PELK_ERR_TRANSFER:
        why = "the board did not take a block of the transfer; check that no job or other transfer is running "
              "and try again";
        break;
    case PELK_ERR_COMMAND:
        why = "the board did not accept the request; check that no job or other transfer is running and try again";
        break;
    case PELK_ERR_REFUSED: why = "the board cannot do this in its present state"; break;
    case PELK_ERR_RANGE: why = "a value is outside what the board takes; nothing was sent"; break;
    default: break;
    }
    if (code == rc::link_lost)
        return fail(code, "%s: the link to the board was lost; check its cable and power, then try again", what);
    return fail(code, "%s: %s", what, why);
}

void session::put(const std::string& key, const std::string& text) { put(key, text, json_quote(text)); }

void session::put(const std::string& key, const std::string& text, const std::string& json)
{
    report.push_back({key, text, json});
}

void session::put_number(const std::string& key, double value, const std::string& text)
{
    report.push_back({key, text.empty() ? json_number(value) : text, json_number(value)});
}
