// The name a file goes by on the SD card, and a way to hand the library a
// local file under that name: the library opens the file by the very name
// it sends to the card.
#pragma once

#include <string>

#include "args.h"

// An exit code: ok with *name set to --as NAME, or to the base name of
// source. Absolute names, ".." and empty parts are refused.
int card_name_for(const options& o, const std::string& source, std::string* name);

// While it lives, `name` opened relative to the working directory reads
// source: the working directory is a private temporary one holding a link
// of that name. Nothing is changed when name already reaches source.
class card_stage {
public:
    card_stage() = default;
    ~card_stage();
    card_stage(const card_stage&) = delete;
    card_stage& operator=(const card_stage&) = delete;
    // An exit code: local_file with a message when the link cannot be made.
    int enter(const std::string& source, const std::string& name);

private:
    std::string dir, home;
};
