// Discovery answers: any datagram of up to 64 bytes, read into a buffer
// that starts out 0xFF, as the discovery pass reads it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "frame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    unsigned char answer[64];
    std::memset(answer, 0xFF, sizeof answer);
    std::memcpy(answer, data, size < sizeof answer ? size : sizeof answer);
    char id[VESK_ID_LEN];
    bool accepted = vframe::parse_discovery_answer(answer, id);
    // An echoed request (FF FF in bytes 6-7) is never taken for an answer.
    if (accepted && answer[6] == 0xFF && answer[7] == 0xFF) std::abort();
    if (accepted && std::memcmp(id, answer + 32, VESK_ID_LEN) != 0) std::abort();
    return 0;
}
