#include "cli/CSiteIndex.h"

#include <dirent.h>

#include "tree/CompareNoCase.h"

namespace kivoparse {
namespace cli {

namespace {

std::string Folded(const std::string& name) {
    std::string folded = name;
    for (char& c : folded) c = static_cast<char>(FoldByte(c));
    return folded;
}

}  // namespace

const CSiteIndex::SFolder& CSiteIndex::Folder(const std::string& path) {
    auto& slot = mFolders[path];
    if (slot) return *slot;
    slot = std::make_unique<SFolder>();
    DIR* dir = ::opendir(path.empty() ? "." : path.c_str());
    if (!dir) return *slot;
    slot->mReadable = true;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        slot->mNames.emplace(name, entry->d_type == DT_DIR);
        auto folded = slot->mFolded.emplace(Folded(name), name);
        if (!folded.second && name < folded.first->second) folded.first->second = name;
    }
    ::closedir(dir);
    return *slot;
}

SResolved CSiteIndex::Resolve(const std::string& base, const SUrlPath& url) {
    SResolved result;
    result.mRecased.assign(url.mSegments.size(), std::string());
    // Both paths are kept as lists of names: what the URL names, and what
    // is on disk (the same but for letter case, while it is found).
    const bool absolute = !base.empty() && base[0] == '/';
    std::vector<std::string> named, actual;
    for (std::size_t start = absolute ? 1 : 0; start < base.size();) {
        std::size_t slash = base.find('/', start);
        if (slash == std::string::npos) slash = base.size();
        if (slash > start) named.push_back(base.substr(start, slash - start));
        start = slash + 1;
    }
    actual = named;
    auto render = [&](const std::vector<std::string>& names) {
        std::string path = absolute ? "/" : "";
        for (std::size_t i = 0; i < names.size(); ++i) path += (i ? "/" : "") + names[i];
        return path.empty() ? std::string(".") : path;
    };
    bool otherCase = false, missing = false;
    for (std::size_t i = 0; i < url.mSegments.size(); ++i) {
        const std::string& name = url.mSegments[i].mName;
        if (name == ".") continue;
        if (name == "..") {
            // Up from a name (lexically), else one more ".." (a relative base
            // above the current folder); never above "/".
            if (!named.empty() && named.back() != "..") {
                named.pop_back();
                actual.pop_back();
            } else if (!absolute) {
                named.push_back("..");
                actual.push_back("..");
            }
            continue;
        }
        named.push_back(name);
        if (missing) continue;
        const std::string folder = render(actual);
        const SFolder& listing = Folder(folder == "." ? std::string() : folder);
        if (listing.mNames.count(name)) {
            actual.push_back(name);
            continue;
        }
        const auto folded = listing.mFolded.find(Folded(name));
        if (folded == listing.mFolded.end()) {
            missing = true;
            continue;
        }
        actual.push_back(folded->second);
        result.mRecased[i] = folded->second;
        otherCase = true;
    }
    result.mPath = render(named);
    if (missing) return result;
    if (url.mNamesFolder && !actual.empty()) {
        // A URL ending in "/" names a folder: it must be one.
        const std::string path = render(actual);
        if (!Folder(path == "." ? std::string() : path).mReadable) return result;
    }
    result.mFound = otherCase ? EFound::OtherCase : EFound::Exists;
    if (otherCase) result.mActual = render(actual);
    return result;
}

}  // namespace cli
}  // namespace kivoparse
