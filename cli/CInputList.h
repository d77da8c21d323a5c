#pragma once
// Turns the FILE operands into the ordered list of documents to parse.
#include <string>
#include <vector>

#include "cli/CCommandLine.h"
#include "cli/SystemIO.h"

namespace kivoparse {
namespace cli {

struct SInput {
    std::string mPath;     // what is opened; "-" is the standard input
    std::string mOutPath;  // where the result goes under --out, relative
    std::string mError;    // when set, the input fails with this reason unread
};

class CInputList {
public:
    // Operands in the order given; with -r, a directory gives the files under
    // it whose names end in one of the extensions, sorted by path byte for
    // byte. A subdirectory equal to skipDir (the --out directory) is passed
    // over. Notes for the user (a directory without any such file) are
    // appended to notes.
    static std::vector<SInput> Expand(const SOptions& options, const SDirectoryId* skipDir,
                                      std::vector<std::string>& notes);

    // The input's path made relative: "." and empty parts dropped, ".."
    // applied, a leading "/" and leading ".." parts dropped. "" when nothing is left.
    static std::string RelativeOutPath(const std::string& path);

    // True when name ends in "." and one of extensions, ASCII letter case ignored.
    static bool HasExtension(const std::string& name, const std::vector<std::string>& extensions);
};

}  // namespace cli
}  // namespace kivoparse
