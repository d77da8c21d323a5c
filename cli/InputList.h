#pragma once
// Turns the FILE operands into the ordered list of documents to parse.
#include <string>
#include <vector>

#include "cli/CCommandLine.h"

namespace kivoparse {
namespace cli {

struct SInput {
    std::string mPath;     // what is opened; "-" is the standard input
    std::string mOutPath;  // where the result goes under --out, relative to it
    std::string mError;    // when set, the input fails with this reason unread
    bool mUnderDirectory;  // found under a directory operand (-r)
};

// Operands in the order given; with -r, a directory gives the files under it
// whose names end in one of the extensions, sorted by path byte for byte, and
// the --out directory, should it lie inside, is passed over. Each input's
// mOutPath is its path below its directory operand, or a file operand's name.
// Notes for the user (a directory without any such file) go to notes.
std::vector<SInput> ExpandInputs(const SOptions& options, std::vector<std::string>& notes);

}  // namespace cli
}  // namespace kivoparse
