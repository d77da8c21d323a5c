#include "links/CSiteIndex.h"

#include <utility>

#include "links/CompareNoCase.h"

namespace kivoparse {

namespace {

// A name's hashes as written and with letter case folded.
void HashName(const std::string& name, std::uint64_t seed, std::uint64_t& written, std::uint64_t& folded) {
    written = folded = 14695981039346656037ULL ^ seed;
    for (const char c : name) {
        written = (written ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
        folded = (folded ^ FoldByte(c)) * 1099511628211ULL;
    }
}

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// The path that segments [from, end) name from path, lexically, for a
// message; a ".." at the root (rootKey, when given) stays there and sets
// above. Unlike a base's folder, a ".." after "/" or after a name that
// starts with ".." is written out: the check's messages have always named
// such paths so.
std::string NamedPath(std::string path, const SUrlPath& url, std::size_t from, const std::string* rootKey = nullptr,
                      bool* above = nullptr) {
    FollowPath(
        url, from, url.mSegments.size(), [&] { return rootKey && PathWithoutDots(path) == *rootKey; },
        [&] {
            const std::size_t slash = path.rfind('/');
            if (!path.empty() && path != "/" && path.compare(slash + 1, 2, "..") != 0)
                path.erase(slash == std::string::npos ? 0 : slash == 0 ? 1 : slash);
            else
                path = Join(path, "..");
        },
        [&] { *above = true; },
        [&](std::size_t j) {
            path = Join(path, url.mSegments[j].mName);
            return true;
        });
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
    std::size_t mRootGeneration = 0;  // of mIsRoot
    bool mIsRoot = false;
    std::vector<std::string> mNames;
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

bool CSiteIndex::IsRoot(SNode* node) {
    if (node->mRootGeneration != mRootGeneration) {
        node->mRootGeneration = mRootGeneration;
        node->mIsRoot = PathWithoutDots(node->mPath) == mRootKey;
    }
    return node->mIsRoot;
}

std::uint64_t CSiteIndex::KeyOf(const SNode* folder, std::uint64_t nameHash) const {
    return Mix(nameHash ^ Mix(static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(folder))));
}

void CSiteIndex::List(SNode* node) {
    if (node->mListed) return;
    node->mListed = true;
    if (!mLister(node->mPath, node->mNames)) {
        node->mNames.clear();
        return;
    }
    node->mReadable = true;
    const std::vector<std::string>& names = node->mNames;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        if (name.empty() || name == "." || name == "..") continue;
        std::uint64_t written, folded;
        HashName(name, mNames.Seed(), written, folded);
        mNames.FindOrAdd(
            KeyOf(node, written), [&](const SName& n) { return n.mFolder == node && names[n.mName] == name; },
            SName{node, i, nullptr});
        SName& least = mFolded.FindOrAdd(
            KeyOf(node, folded), [&](const SName& n) { return n.mFolder == node && EqualsNoCase(names[n.mName], name); },
            SName{node, i, nullptr});
        if (name < names[least.mName]) least.mName = i;
    }
}

SResolved CSiteIndex::Resolve(const std::string& base, const SUrlPath& url, const std::string* root,
                              bool wantFound) {
    SResolved result;
    mHasRoot = root != nullptr;
    if (root && *root != mRoot) {
        mRoot = *root;
        mRootKey = PathWithoutDots(*root);
        ++mRootGeneration;
    }
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
    const bool reached = FollowPath(
        url, 0, url.mSegments.size(), [&] { return mHasRoot && IsRoot(node); }, [&] { node = Parent(node); },
        [&] { result.mAboveRoot = true; },
        [&](std::size_t i) {
            const std::string& name = url.mSegments[i].mName;
            List(node);
            std::uint64_t written, folded;
            HashName(name, mNames.Seed(), written, folded);
            const std::vector<std::string>& names = node->mNames;
            SNode* const folder = node;
            const SName* found = mNames.Find(
                KeyOf(node, written), [&](const SName& n) { return n.mFolder == folder && names[n.mName] == name; });
            if (!found) {
                found = mFolded.Find(KeyOf(node, folded), [&](const SName& n) {
                    return n.mFolder == folder && EqualsNoCase(names[n.mName], name);
                });
                if (!found) {
                    // The path the URL names: what is found, then the rest as written.
                    result.mPath =
                        NamedPath(node->mPath, url, i, mHasRoot ? &mRootKey : nullptr, &result.mAboveRoot);
                    return false;
                }
                const std::string& actual = names[found->mName];
                if (result.mRecased.empty()) result.mRecased.assign(url.mSegments.size(), std::string());
                result.mRecased[i] = actual;
                otherCase = true;
                HashName(actual, mNames.Seed(), written, folded);
                found = mNames.Find(KeyOf(node, written),
                                    [&](const SName& n) { return n.mFolder == folder && names[n.mName] == actual; });
            }
            if (!found->mNode) {
                // The slot is the table's: it is given its node in place.
                const_cast<SName*>(found)->mNode = NodeOf(Join(node->mPath, names[found->mName]));
            }
            node = found->mNode;
            return true;
        });
    if (!reached) return result;
    // A URL ending in "/" names a folder: it must be one.
    if (url.mNamesFolder && !url.mSegments.empty()) {
        List(node);
        if (!node->mReadable) {
            result.mPath = node->mPath.empty() ? "." : node->mPath;
            return result;
        }
    }
    result.mFound = otherCase ? EFound::OtherCase : EFound::Exists;
    if (wantFound || result.mAboveRoot) result.mOnDisk = node->mPath.empty() ? "." : node->mPath;
    if (otherCase) {
        result.mActual = node->mPath.empty() ? "." : node->mPath;
        result.mPath = NamedPath(base, url, 0);
    }
    return result;
}

}  // namespace kivoparse
