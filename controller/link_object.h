// Private: the library's one link to the controller board.
#pragma once

#include "vesk.h"

// The link object every board function and device object sends through. It
// lives from library load to library unload.
vesk& link_object();

// Sends one command on the link and maps any link failure to PELK_ERR_COMMAND.
int send_cmd(unsigned char cmd, unsigned char type, unsigned int arg, unsigned char* data, unsigned short len,
             unsigned short* out_len = nullptr);
