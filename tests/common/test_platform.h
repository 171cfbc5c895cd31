// The operating-system calls that tests need beyond the link library's
// platform layer: child processes, private network namespaces and scratch
// directories. One implementation file per operating system.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace test_platform {

struct child_outcome {
    bool ran = false;        // false: this platform cannot run the child
    std::string why_not;     // why, when it did not run
    bool exited = false;     // ended by exit rather than by a signal
    int exit_code = -1;
    std::string output;      // what the child passed to child_report
};

// Runs body in a copy of this process and waits for it to end. The child's
// exit status is body's result, unless body ends the process itself.
child_outcome run_in_child(const std::function<int()>& body);
// From inside body: text for the parent's child_outcome::output.
void child_report(const std::string& text);

// Runs the program at path with args in a new process and waits for it to
// end; output is what it wrote to standard output.
child_outcome run_program(const std::string& path, const std::vector<std::string>& args);

// From inside a child: moves it into a network namespace of its own with
// nothing in it. False when the platform has none or refuses.
bool enter_empty_network_namespace();

// A new, empty directory under the system's temporary folder, or "" on failure.
std::string make_temp_dir(const std::string& prefix);

}  // namespace test_platform
