// Parameter file values: fgets pieces converted with atof.
#include "param_file.h"

#include <cstdlib>

#include "wire.h"

namespace {
constexpr int PARAM_LINE_BUFFER = 128;
}  // namespace

int read_param_values(std::FILE* f, unsigned char* table, bool* more)
{
    // One value per line; a line longer than the line buffer is read in
    // pieces, each giving a value. atof gives 0 for a piece without a number.
    int count = 0;
    char line[PARAM_LINE_BUFFER];
    *more = false;
    while (std::fgets(line, sizeof line, f) != nullptr) {
        if (count == PARAM_MAX_VALUES) {
            *more = true;
            break;
        }
        wire::put_float(table + 4 * count, static_cast<float>(std::atof(line)));
        ++count;
    }
    return count;
}
