// The library's one link object. A namespace-scope object is constructed by
// the library's static initialisation when it is loaded and destroyed by the
// exit handler registered for it, when it is unloaded (dlclose or process
// exit). By then the caller's objects that the close callback would touch
// may be gone, so an open link is closed without calling back; the link
// object then joins its receive threads before the library's code goes.
#include "link_object.h"

#include "pelk_types.h"
#include "reply_deadlines.h"

namespace {

struct library_link {
    vesk link;
    ~library_link() { link.eth_device_detach(); }
};

library_link the_link;

}  // namespace

vesk& link_object() { return the_link.link; }

int send_cmd(unsigned char cmd, unsigned char type, unsigned int arg, unsigned char* data, unsigned short len,
             unsigned short* out_len)
{
    return the_link.link.eth_send_cmd(cmd, type, arg, data, len, out_len, reply_deadline_ms(cmd, type, arg)) == 0
               ? PELK_OK
               : PELK_ERR_COMMAND;
}
