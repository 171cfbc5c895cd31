#include "exit_codes.h"

#include "pelk.h"

namespace rc {

const std::vector<doc>& all()
{
    static const std::vector<doc> docs = {
        {ok, "everything asked for succeeded"},
        {usage, "the command line is wrong"},
        {no_board, "no board found, the chosen board is missing or several answered, or connecting failed"},
        {link_lost, "the link to the board was lost during the operation"},
        {refused, "the board or the library refused or failed the operation"},
        {verify, "verification failed: the board holds something other than what was written"},
        {local_file, "a local file could not be read or written, is empty, or cannot be an image for its target"},
        {alarm, "the machine raised an alarm during the job or command"},
        {program, "the program holds lines the machine cannot run, or is not a G-code program"},
        {interrupted, "interrupted with Ctrl-C"},
    };
    return docs;
}

}  // namespace rc

int exit_for_result(int pelk_result, bool link_alive)
{
    switch (pelk_result) {
    case PELK_OK: return rc::ok;
    case PELK_ERR_FILE:
    case PELK_ERR_EMPTY: return rc::local_file;
    case PELK_ERR_TRANSFER:
    case PELK_ERR_COMMAND: return link_alive ? rc::refused : rc::link_lost;
    case PELK_ERR_REFUSED:
    case PELK_ERR_RANGE: return rc::refused;
    default: return pelk_result < 0 ? (link_alive ? rc::refused : rc::link_lost) : rc::ok;
    }
}
