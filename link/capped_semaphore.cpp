// The capped semaphore built from the standard library, for platforms
// without a kernel semaphore that has a maximum count.
#include <condition_variable>
#include <mutex>

#include "vesk_platform.h"

namespace vplat {

struct semaphore1::state {
    std::mutex m;
    std::condition_variable cv;
    bool count = false;
};

semaphore1::semaphore1() : st(new state) {}
semaphore1::~semaphore1() { delete st; }

void semaphore1::release()
{
    {
        std::lock_guard<std::mutex> g(st->m);
        st->count = true;
    }
    st->cv.notify_one();
}

void semaphore1::acquire()
{
    std::unique_lock<std::mutex> g(st->m);
    st->cv.wait(g, [this] { return st->count; });
    st->count = false;
}

bool semaphore1::try_acquire()
{
    std::lock_guard<std::mutex> g(st->m);
    bool had = st->count;
    st->count = false;
    return had;
}

}  // namespace vplat
