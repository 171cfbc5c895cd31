// Private: how long each board command may take to answer.
#pragma once

// Reply deadline in ms for one frame of this command: a few seconds for what
// the board answers at once, minutes for erasing, formatting and programming.
unsigned reply_deadline_ms(unsigned char cmd, unsigned char type, unsigned int arg);
