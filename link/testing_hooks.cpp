#include <atomic>
#include <cstring>

#include "vesk_platform.h"
#include "test_access.h"
#include "tuning.h"
#include "vesk_testing.h"

bool vesk_test_seed_server(int dev_id, const char* ipv4, const char* machine_id)
{
    vesk_addr addr{};
    if (ipv4 == nullptr || ipv4[0] == '\0' || !vplat::parse_ipv4(ipv4, &addr)) return false;
    auto* info = new server_info{};
    info->dev_id = dev_id;
    info->addr = addr;
    if (machine_id) std::memcpy(info->machine_id, machine_id, VESK_ID_LEN);
    vesk_test_access::insert(info);
    return true;
}

void vesk_test_clear_servers() { vesk_test_access::release(); }

namespace vesk_tuning {
std::atomic<bool> keep_nagle{false};
}

void vesk_test_keep_nagle(bool keep) { vesk_tuning::keep_nagle = keep; }
