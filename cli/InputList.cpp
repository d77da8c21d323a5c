// Expanding operands and walking folders.
#include "cli/InputList.h"

#include "cli/ValueFormat.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace kivoparse {
namespace cli {

namespace {

namespace fs = std::filesystem;

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string DescribeExtensions(const std::vector<std::string>& extensions) {
    std::string text;
    for (std::size_t i = 0; i < extensions.size(); ++i) {
        if (i > 0) text += i + 1 == extensions.size() ? " or " : ", ";
        text += "." + extensions[i];
    }
    return text;
}

// Symbolic links to files count as files, and a dangling one too, so that its
// name is reported rather than lost. Links to directories are not followed (a
// walk could loop forever); devices, pipes and sockets are passed over.
bool IsFileEntry(const fs::directory_entry& entry) {
    std::error_code error;
    fs::file_status own = entry.symlink_status(error);
    if (!fs::is_symlink(own)) return fs::is_regular_file(own) || !fs::exists(own);
    fs::file_status target = entry.status(error);
    return fs::is_regular_file(target) || !fs::exists(target);
}

// Collects the matching files under root; folders that cannot be read
// become failing inputs, so that they are reported in their place in the order.
void Walk(const std::string& root, const SOptions& options, std::vector<SInput>& found) {
    std::error_code error;
    const bool skipOut = options.mHasOut && fs::is_directory(options.mOutDir, error);
    WalkFolder(
        root,
        [&](const fs::path& folder) {  // our own output is no input
            std::error_code ignored;
            return !skipOut || !fs::equivalent(folder, options.mOutDir, ignored);
        },
        [&](const fs::directory_entry& entry, const std::string& relative) {
            if (IsFileEntry(entry) && HasExtension(entry.path().filename().string(), options.mExtensions)) {
                found.push_back(SInput{entry.path().string(), relative, std::string(), true});
            }
        },
        [&](const fs::path& folder, const std::error_code& code) {
            found.push_back(SInput{folder.string(), std::string(), "cannot read directory: " + code.message(), true});
            return true;
        });
    // The directory order of the file system is no order: sort by path, byte for byte.
    std::sort(found.begin(), found.end(), [](const SInput& a, const SInput& b) { return a.mPath < b.mPath; });
}

}  // namespace

bool HasExtension(const std::string& name, const std::vector<std::string>& extensions) {
    for (const std::string& extension : extensions) {
        if (name.size() < extension.size() + 1 || name[name.size() - extension.size() - 1] != '.') continue;
        if (std::equal(extension.begin(), extension.end(), name.end() - static_cast<std::ptrdiff_t>(extension.size()),
                       [](char e, char n) { return e == FoldAscii(n); })) {
            return true;
        }
    }
    return false;
}

bool WalkFolder(const std::string& root, const FolderFilter& enter, const EntryVisitor& visit,
                const UnreadableFolder& unreadable) {
    std::vector<std::pair<fs::path, std::string>> pending{{fs::path(root), std::string()}};
    while (!pending.empty()) {
        auto [folder, below] = std::move(pending.back());
        pending.pop_back();
        std::error_code error;
        fs::directory_iterator it(folder, error);
        for (; !error && it != fs::directory_iterator(); it.increment(error)) {
            const std::string name = it->path().filename().string();
            const std::string relative = below.empty() ? name : below + "/" + name;
            std::error_code ignored;
            if (fs::is_directory(it->symlink_status(ignored))) {
                if (enter(it->path())) pending.emplace_back(it->path(), relative);
            } else {
                visit(*it, relative);
            }
        }
        if (error && !unreadable(folder, error)) return false;
    }
    return true;
}

std::vector<SInput> ExpandInputs(const SOptions& options, std::vector<std::string>& notes) {
    if (options.mOperands.empty()) return {SInput{"-", std::string(), std::string(), false}};
    std::vector<SInput> inputs;
    for (const std::string& operand : options.mOperands) {
        std::error_code error;
        if (options.mRecursive && operand != "-" && fs::is_directory(operand, error)) {
            std::vector<SInput> found;
            Walk(operand, options, found);
            if (found.empty()) {
                std::string endings = DescribeExtensions(options.mExtensions);
                notes.push_back(QuoteName(operand, false) + ": no file under it ends in " + endings);
            }
            inputs.insert(inputs.end(), found.begin(), found.end());
            continue;
        }
        // Files, and directories without -r, are read as named; reading tells what is wrong.
        std::string name = operand.substr(operand.find_last_of('/') + 1);
        inputs.push_back(SInput{operand, name == "." || name == ".." ? std::string() : name, std::string(), false});
    }
    return inputs;
}

}  // namespace cli
}  // namespace kivoparse
