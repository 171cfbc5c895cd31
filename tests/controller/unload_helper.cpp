// Run by the unload test in a fresh process: loads the controller library
// with dlopen, opens its link to the board at the given address with a close
// callback that reports itself on standard output, then unloads the library
// (mode "dlclose") or ends the process (mode "exit") with the link open.
// Prints "callback" if the callback runs, and after dlclose the number of
// threads left in the process.
#include <dirent.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

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
    std::printf("open, threads %d\n", thread_count());
    std::fflush(stdout);
    if (!by_dlclose) std::exit(0);  // the library's exit handlers run now

    if (::dlclose(h) != 0) return 6;
    std::printf("unloaded, threads %d\n", thread_count());
    std::fflush(stdout);
    return 0;
}
