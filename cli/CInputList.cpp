// Expanding operands and walking directories, without recursion: a site may
// nest deeper than any stack should.
#include "cli/CInputList.h"

#include <algorithm>

namespace kivoparse {
namespace cli {

namespace {

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string JoinPath(const std::string& dir, const std::string& name) {
    if (!dir.empty() && dir.back() == '/') return dir + name;
    return dir + "/" + name;
}

std::string DescribeExtensions(const std::vector<std::string>& extensions) {
    std::string text;
    for (std::size_t i = 0; i < extensions.size(); ++i) {
        if (i > 0) text += i + 1 == extensions.size() ? " or " : ", ";
        text += "." + extensions[i];
    }
    return text;
}

// Collects the matching files under root; unreadable directories become
// failing inputs so that they are reported in their place in the order.
void Walk(const std::string& root, const SOptions& options, const SDirectoryId* skipDir,
          std::vector<SInput>& found) {
    std::vector<std::string> pending{root};
    std::vector<SDirEntry> entries;
    while (!pending.empty()) {
        std::string dir = std::move(pending.back());
        pending.pop_back();
        std::string error;
        if (!ListDirectory(dir, entries, error)) {
            SInput failed;
            failed.mPath = dir;
            failed.mError = "cannot read directory: " + error;
            found.push_back(std::move(failed));
            continue;
        }
        for (const SDirEntry& entry : entries) {
            std::string path = JoinPath(dir, entry.mName);
            if (entry.mKind == EEntryKind::Directory) {
                if (skipDir && entry.mId == *skipDir) continue;  // our own output is no input
                pending.push_back(std::move(path));
            } else if (entry.mKind == EEntryKind::File && CInputList::HasExtension(entry.mName, options.mExtensions)) {
                SInput input;
                input.mPath = std::move(path);
                found.push_back(std::move(input));
            }
        }
    }
    // The directory order of the file system is no order: sort by path, byte for byte.
    std::sort(found.begin(), found.end(), [](const SInput& a, const SInput& b) { return a.mPath < b.mPath; });
}

}  // namespace

bool CInputList::HasExtension(const std::string& name, const std::vector<std::string>& extensions) {
    for (const std::string& extension : extensions) {
        if (name.size() < extension.size() + 1) continue;
        std::size_t start = name.size() - extension.size();
        if (name[start - 1] != '.') continue;
        bool same = true;
        for (std::size_t i = 0; i < extension.size() && same; ++i) same = FoldAscii(name[start + i]) == extension[i];
        if (same) return true;
    }
    return false;
}

std::string CInputList::RelativeOutPath(const std::string& path) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    while (start <= path.size()) {
        std::string::size_type slash = path.find('/', start);
        if (slash == std::string::npos) slash = path.size();
        std::string part = path.substr(start, slash - start);
        start = slash + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        parts.push_back(std::move(part));
    }
    std::string joined;
    for (const std::string& part : parts) {
        if (!joined.empty()) joined += '/';
        joined += part;
    }
    return joined;
}

std::vector<SInput> CInputList::Expand(const SOptions& options, const SDirectoryId* skipDir,
                                       std::vector<std::string>& notes) {
    std::vector<SInput> inputs;
    if (options.mOperands.empty()) {
        SInput input;
        input.mPath = "-";
        inputs.push_back(std::move(input));
        return inputs;
    }
    for (const std::string& operand : options.mOperands) {
        SDirectoryId id;
        if (options.mRecursive && operand != "-" && GetDirectoryId(operand, id)) {
            std::vector<SInput> found;
            Walk(operand, options, skipDir, found);
            if (found.empty()) {
                notes.push_back(operand + ": no file under it ends in " + DescribeExtensions(options.mExtensions));
            }
            for (SInput& input : found) inputs.push_back(std::move(input));
            continue;
        }
        // Files, and directories without -r, are read as named; reading tells what is wrong.
        SInput input;
        input.mPath = operand;
        inputs.push_back(std::move(input));
    }
    for (SInput& input : inputs) input.mOutPath = RelativeOutPath(input.mPath);
    return inputs;
}

}  // namespace cli
}  // namespace kivoparse
