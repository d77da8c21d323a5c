#include "links/CSiteIndex.h"

#include <utility>

#include "links/CompareNoCase.h"

namespace kivoparse {

namespace {

std::string Folded(const std::string& name) {
    std::string folded = name;
    for (char& c : folded) c = static_cast<char>(FoldByte(c));
    return folded;
}

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// The path that segments [from, end) name from path, lexically.
std::string NamedPath(std::string path, const SUrlPath& url, std::size_t from) {
    for (std::size_t j = from; j < url.mSegments.size(); ++j) {
        const std::string& rest = url.mSegments[j].mName;
        if (rest == ".") continue;
        const std::size_t slash = path.rfind('/');
        if (rest == ".." && !path.empty() && path != "/" && path.compare(slash + 1, 2, "..") != 0)
            path.erase(slash == std::string::npos ? 0 : slash == 0 ? 1 : slash);
        else
            path = Join(path, rest);
    }
    return path.empty() ? "." : path;
}

}  // namespace

// A name on disk (or the base a URL starts from): its path, and, once
// listed, the names inside it (a file lists as an unreadable folder).
struct CSiteIndex::SNode {
    std::string mPath;
    bool mListed = false;
    bool mReadable = false;
    SNode* mParent = nullptr;  // once asked for
    std::unordered_map<std::string, SNode*> mNames;        // name -> node (made on first use)
    std::unordered_map<std::string, std::string> mFolded;  // folded name -> the least such name
};

CSiteIndex::CSiteIndex(SiteCheck::FolderLister lister) : mLister(std::move(lister)) {}
CSiteIndex::~CSiteIndex() = default;

CSiteIndex::SNode* CSiteIndex::NodeOf(const std::string& path) {
    auto& slot = mByPath[path];
    if (!slot) {
        slot = std::make_unique<SNode>();
        slot->mPath = path;
    }
    return slot.get();
}

// Lexically: "a/b" -> "a", "a" -> "", "" -> "..", "../x" -> "..", ".." -> "../..", "/" -> "/".
CSiteIndex::SNode* CSiteIndex::Parent(SNode* node) {
    if (!node->mParent) node->mParent = ParentByPath(node);
    return node->mParent;
}

CSiteIndex::SNode* CSiteIndex::ParentByPath(SNode* node) {
    const std::string& path = node->mPath;
    if (path == "/") return node;
    const std::size_t slash = path.rfind('/');
    const std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
    if (path.empty()) return NodeOf("..");
    if (last == "..") return NodeOf(path + "/..");
    if (slash == std::string::npos) return NodeOf("");
    return NodeOf(slash == 0 ? "/" : path.substr(0, slash));
}

void CSiteIndex::List(SNode* node) {
    if (node->mListed) return;
    node->mListed = true;
    std::vector<std::string> names;
    if (!mLister(node->mPath, names)) return;
    node->mReadable = true;
    for (std::string& name : names) {
        if (name.empty() || name == "." || name == "..") continue;
        auto folded = node->mFolded.emplace(Folded(name), name);
        if (!folded.second && name < folded.first->second) folded.first->second = name;
        node->mNames.emplace(std::move(name), nullptr);
    }
}

SResolved CSiteIndex::Resolve(const std::string& base, const SUrlPath& url) {
    SResolved result;
    SNode* node;
    if (mRecentNode[0] && mRecentBase[0] == base) {
        node = mRecentNode[0];
    } else if (mRecentNode[1] && mRecentBase[1] == base) {
        node = mRecentNode[1];
    } else {
        node = NodeOf(base);
        mRecentBase[1] = std::move(mRecentBase[0]);
        mRecentNode[1] = mRecentNode[0];
        mRecentBase[0] = base;
        mRecentNode[0] = node;
    }
    bool otherCase = false;
    for (std::size_t i = 0; i < url.mSegments.size(); ++i) {
        const std::string& name = url.mSegments[i].mName;
        if (name == ".") continue;
        if (name == "..") {
            node = Parent(node);
            continue;
        }
        List(node);
        auto found = node->mNames.find(name);
        if (found == node->mNames.end()) {
            const auto folded = node->mFolded.find(Folded(name));
            if (folded == node->mFolded.end()) {
                // The path the URL names: what is found, then the rest as written.
                result.mPath = NamedPath(node->mPath, url, i);
                return result;
            }
            if (result.mRecased.empty()) result.mRecased.assign(url.mSegments.size(), std::string());
            result.mRecased[i] = folded->second;
            otherCase = true;
            found = node->mNames.find(folded->second);
        }
        if (!found->second) found->second = NodeOf(Join(node->mPath, found->first));
        node = found->second;
    }
    // A URL ending in "/" names a folder: it must be one.
    if (url.mNamesFolder && !url.mSegments.empty()) {
        List(node);
        if (!node->mReadable) {
            result.mPath = node->mPath.empty() ? "." : node->mPath;
            return result;
        }
    }
    result.mFound = otherCase ? EFound::OtherCase : EFound::Exists;
    if (otherCase) {
        result.mActual = node->mPath.empty() ? "." : node->mPath;
        result.mPath = NamedPath(base, url, 0);
    }
    return result;
}

}  // namespace kivoparse
