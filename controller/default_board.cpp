// The library's one link object and the default board object on it. Both
// are namespace-scope objects: constructed by the library's static
// initialisation when it is loaded and destroyed by the exit handler
// registered for them when it is unloaded (dlclose or process exit). By then
// the caller's objects that the close callback would touch may be gone, so
// an open link is closed without calling back; the link object then joins
// its receive threads before the library's code goes.
#include "cnc_board.h"
#include "ethernet_transport.h"

namespace {

struct library_board {
    vesk link;
    cnc::board board{std::make_unique<vesk_transport>(link)};
    ~library_board() { link.eth_device_detach(); }
};

library_board the_board;

}  // namespace

cnc::board& cnc::default_board() { return the_board.board; }
