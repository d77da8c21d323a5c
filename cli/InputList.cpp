// Expanding operands and walking directories, without recursion: a site may
// nest deeper than any stack should.
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

// True when name ends in "." and one of extensions, ASCII letter case ignored.
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

// Collects the matching files under root; directories that cannot be read
// become failing inputs, so that they are reported in their place in the order.
void Walk(const std::string& root, const SOptions& options, std::vector<SInput>& found) {
    std::error_code error;
    bool skipOut = options.mHasOut && fs::is_directory(options.mOutDir, error);
    std::vector<std::pair<fs::path, std::string>> pending{{fs::path(root), std::string()}};
    while (!pending.empty()) {
        auto [dir, below] = std::move(pending.back());
        pending.pop_back();
        fs::directory_iterator it(dir, error);
        for (; !error && it != fs::directory_iterator(); it.increment(error)) {
            std::string name = it->path().filename().string();
            std::string relative = below.empty() ? name : below + "/" + name;
            std::error_code ignored;
            if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
                if (!skipOut || !fs::equivalent(it->path(), options.mOutDir, ignored)) {
                    pending.emplace_back(it->path(), relative);  // our own output is no input
                }
            } else if (IsFileEntry(*it) && HasExtension(name, options.mExtensions)) {
                found.push_back(SInput{it->path().string(), relative, std::string(), true});
            }
        }
        if (error) found.push_back(SInput{dir.string(), std::string(), "cannot read directory: " + error.message(), true});
        error.clear();
    }
    // The directory order of the file system is no order: sort by path, byte for byte.
    std::sort(found.begin(), found.end(), [](const SInput& a, const SInput& b) { return a.mPath < b.mPath; });
}

}  // namespace

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
