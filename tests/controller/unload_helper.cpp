// Run by the unload test in a fresh process: loads the controller library
// with dlopen, opens its link to the board at the given address with a close
// callback that reports itself on standard output, then unloads the library
// (mode "dlclose") or ends the process (mode "exit") with the link open.
// Prints "callback" if the callback runs, and the threads the library added
// while its link was open and after dlclose.
#include <dirent.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "pelk.h"

namespace {

int report_close(void*, int dev_id)
{
    std::printf("callback %d\n", dev_id);
    std::fflush(stdout);
    return 0;
}

int thread_count()
{
    int n = 0;
    if (DIR* d = ::opendir("/proc/self/task")) {
        while (dirent* e = ::readdir(d))
            if (e->d_name[0] != '.') ++n;
        ::closedir(d);
    }
    return n;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) return 2;
    const char* library = argv[1];
    const char* address = argv[2];
    const bool by_dlclose = std::strcmp(argv[3], "dlclose") == 0;

    // Counted against the threads before loading. A sanitizer's runtime
    // starts a thread of its own with the first thread of the process: one
    // started and joined here makes it do so now.
    std::thread([] {}).join();
    const int base = thread_count();
    void* h = ::dlopen(library, RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        std::printf("dlopen: %s\n", ::dlerror());
        return 3;
    }
    auto reg = reinterpret_cast<pelk_cnc* (*)()>(::dlsym(h, "cnc_dev_register"));
    // The test hook is a C++ function: looked up by its mangled name.
    auto seed = reinterpret_cast<bool (*)(int, const char*, const char*)>(::dlsym(h, "_Z21vesk_test_seed_serveriPKcS0_"));
    if (!reg || !seed || !seed(0, address, "UNLOADBOARD1")) return 4;
    pelk_cnc* dev = reg();
    if (!dev || dev->cnc_open_dev_index(0, report_close, nullptr) != 0 || !dev->cnc_dev_state()) return 5;
    std::printf("open, threads %d more\n", thread_count() - base);
    std::fflush(stdout);
    // The library never frees device objects nor, before unload, the list
    // it was seeded with; both go back here so that leak checkers stay quiet.
    ::operator delete(static_cast<void*>(dev));
    auto clear = reinterpret_cast<void (*)()>(::dlsym(h, "_Z23vesk_test_clear_serversv"));
    if (clear) clear();
    if (!by_dlclose) std::exit(0);  // the library's exit handlers run now

    if (::dlclose(h) != 0) return 6;
    std::printf("unloaded, threads %d more\n", thread_count() - base);
    std::fflush(stdout);
    return 0;
}
