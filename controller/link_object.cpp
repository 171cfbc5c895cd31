// The library's one link object. A namespace-scope object is constructed by
// the library's static initialisation when it is loaded and destroyed by the
// exit handler registered for it, when it is unloaded; its destructor closes
// an open link and runs the close callback.
#include "link_object.h"

#include "pelk_types.h"

namespace {
vesk the_link;
}  // namespace

vesk& link_object() { return the_link; }

int send_cmd(unsigned char cmd, unsigned char type, unsigned int arg, unsigned char* data, unsigned short len,
             unsigned short* out_len)
{
    return the_link.eth_send_cmd(cmd, type, arg, data, len, out_len) == 0 ? PELK_OK : PELK_ERR_COMMAND;
}
