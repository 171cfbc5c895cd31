// The device interface's special members and the factory.
#include <cstring>
#include <new>

#include "device.h"

pelk_cnc::pelk_cnc() = default;
pelk_cnc::pelk_cnc(const pelk_cnc&) = default;
pelk_cnc::pelk_cnc(pelk_cnc&&) = default;
pelk_cnc& pelk_cnc::operator=(const pelk_cnc&) = default;
pelk_cnc& pelk_cnc::operator=(pelk_cnc&&) = default;

pelk_cnc* cnc_dev_register()
{
    // The object is zero-filled before its interface is installed. The
    // library never frees it: the interface has no destructor.
    void* mem = ::operator new(sizeof(pelk), std::nothrow);
    if (mem == nullptr) return nullptr;
    std::memset(mem, 0, sizeof(pelk));
    return new (mem) pelk;
}
