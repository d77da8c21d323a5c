#pragma once
// Turns the FILE operands into the ordered list of documents to parse.
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
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

// True when name ends in "." and one of extensions (lower case, without the
// dot), ASCII letter case ignored.
bool HasExtension(const std::string& name, const std::vector<std::string>& extensions);

// Walks the folder root without recursion (a site may nest deeper than any
// stack should), entering each folder below it that enter accepts; symbolic
// links to folders are entries, not followed. visit is called for every
// entry that is not a folder, with its path below root ("/" between names).
// A folder that cannot be read goes to unreadable, which returns whether the
// walk goes on; WalkFolder returns false when it did not.
using FolderFilter = std::function<bool(const std::filesystem::path& folder)>;
using EntryVisitor = std::function<void(const std::filesystem::directory_entry& entry, const std::string& relative)>;
using UnreadableFolder = std::function<bool(const std::filesystem::path& folder, const std::error_code& error)>;
bool WalkFolder(const std::string& root, const FolderFilter& enter, const EntryVisitor& visit,
                const UnreadableFolder& unreadable);

// Operands in the order given; with -r, a directory gives the files under it
// whose names end in one of the extensions, sorted by path byte for byte, and
// the --out directory, should it lie inside, is passed over. Each input's
// mOutPath is its path below its directory operand, or a file operand's name.
// Notes for the user (a directory without any such file) go to notes.
std::vector<SInput> ExpandInputs(const SOptions& options, std::vector<std::string>& notes);

}  // namespace cli
}  // namespace kivoparse
