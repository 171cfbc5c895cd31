#include "card_names.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "exit_codes.h"
#include "local_files.h"
#include "output.h"

namespace fs = std::filesystem;

int card_name_for(const options& o, const std::string& source, std::string* name)
{
    std::string n;
    if (!o.as.empty()) {
        n = o.as;
    } else {
        auto slash = source.find_last_of('/');
        n = slash == std::string::npos ? source : source.substr(slash + 1);
    }
    if (n.empty()) return fail(rc::usage, "sd put: %s names no file", source.c_str());
    if (n[0] == '/') return fail(rc::usage, "sd put: the card name %s must not start with /", n.c_str());
    for (size_t start = 0; start <= n.size();) {
        size_t end = n.find('/', start);
        if (end == std::string::npos) end = n.size();
        std::string part = n.substr(start, end - start);
        if (part.empty() || part == "." || part == "..")
            return fail(rc::usage, "sd put: the card name %s has an empty, \".\" or \"..\" part", n.c_str());
        start = end + 1;
    }
    if (int code = check_name_length(n); code != rc::ok) return code;
    *name = n;
    return rc::ok;
}

int card_stage::enter(const std::string& source, const std::string& name)
{
    std::error_code ec;
    if (source == name) return rc::ok;
    fs::path target = fs::absolute(source, ec);
    if (ec) return fail(rc::local_file, "%s: %s", source.c_str(), ec.message().c_str());
    std::string templ = (fs::temp_directory_path(ec) / "pelkctl-card-XXXXXX").string();
    if (ec || !::mkdtemp(templ.data()))
        return fail(rc::local_file, "sd put: cannot make a temporary folder: %s", std::strerror(errno));
    dir = templ;
    fs::path link = fs::path(dir) / name;
    fs::create_directories(link.parent_path(), ec);
    if (!ec) fs::create_symlink(target, link, ec);
    if (ec) return fail(rc::local_file, "sd put: cannot stage %s as %s: %s", source.c_str(), name.c_str(),
                        ec.message().c_str());
    note("sd put: %s goes to the card as %s (through %s)", source.c_str(), name.c_str(), link.c_str());
    home = fs::current_path(ec).string();
    if (ec || ::chdir(dir.c_str()) != 0) {
        home.clear();
        return fail(rc::local_file, "sd put: cannot enter %s: %s", dir.c_str(), std::strerror(errno));
    }
    return rc::ok;
}

card_stage::~card_stage()
{
    if (!home.empty() && ::chdir(home.c_str()) != 0) {
        // The command is over by now; the files it wrote used full paths.
    }
    std::error_code ec;
    if (!dir.empty()) fs::remove_all(dir, ec);
}
