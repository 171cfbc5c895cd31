#include "sd_queries.h"

#include "cnc_tasks.h"
#include "exit_codes.h"
#include "output.h"

int sd_file_size(session& s, const std::string& name, uint32_t* size, bool* exists)
{
    if (int r = cnc::sd_file_size(*s.dev, name, size, exists); r != PELK_OK)
        return s.failed(r, ("asking the card about " + name).c_str());
    return rc::ok;
}

int sd_verify_checksum(session& s, const std::string& name, const std::string& local, const char* what)
{
    bool same = false;
    uint32_t theirs = 0, mine = 0;
    int r = cnc::sd_checksum_matches(*s.dev, name, local, &same, &theirs, &mine);
    if (r == PELK_ERR_FILE) return fail(rc::local_file, "%s: cannot read %s", what, local.c_str());
    if (r != PELK_OK) {
        if (!s.link_alive()) return s.failed(r, what);
        return fail(rc::verify, "%s: the card gave no checksum of %s, so the copy is not confirmed; check it with "
                    "`pelkctl sd stat %s` or copy it again", what, name.c_str(), name.c_str());
    }
    if (!same)
        return fail(rc::verify, "%s: the card's checksum of %s is %08x, the local file's %08x", what, name.c_str(),
                    theirs, mine);
    return rc::ok;
}
