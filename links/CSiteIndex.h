#pragma once
// The folders of a site as a check sees them: each folder is read once, the
// first time a URL leads into it, and kept as a node of a tree of names, so
// a check of many documents costs one listing per folder and one hash
// look-up per path segment. The names of every folder share one table of
// the whole site, keyed by folder and name.
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include <kivoparse/site.h>

#include "links/UrlPaths.h"
#include "tree/CSeededTable.h"

namespace kivoparse {

enum class EFound { Exists, OtherCase, Missing };

struct SResolved {
    EFound mFound = EFound::Missing;
    std::string mPath;    // Missing: the path the URL names, from the base on
    std::string mActual;  // OtherCase: the path on disk
    // OtherCase: for each segment of the URL, its name on disk where the
    // letter case differs, else "".
    std::vector<std::string> mRecased;
    bool mAboveRoot = false;  // a ".." was taken at the root, and stayed there
    std::string mOnDisk;      // Exists, OtherCase: the path on disk (when asked for)
};

class CSiteIndex {
public:
    explicit CSiteIndex(SiteCheck::FolderLister lister);
    ~CSiteIndex();
    // Follows the segments of url from the folder base ("" is the current
    // folder): "." stays, ".." goes up (never above "/", and never above
    // root, if given: there it stays, as a browser does, and says so), and each name
    // is looked up as written, then with letter case ignored. wantFound:
    // the path on disk is given in mOnDisk.
    SResolved Resolve(const std::string& base, const SUrlPath& url, const std::string* root, bool wantFound = false);

private:
    struct SNode;
    SNode* NodeOf(const std::string& path);
    SNode* Parent(SNode* node);
    SNode* ParentByPath(SNode* node);
    bool IsRoot(SNode* node);
    void List(SNode* node);
    // A name in a folder: the folder, the name's place in its list, and
    // the node of the name once asked for.
    struct SName {
        SNode* mFolder = nullptr;
        std::size_t mName = 0;
        SNode* mNode = nullptr;
    };
    std::uint64_t KeyOf(const SNode* folder, std::uint64_t nameHash) const;
    SiteCheck::FolderLister mLister;
    CSeededTable<SName> mNames{1024};   // folder and name
    CSeededTable<SName> mFolded{1024};  // folder and folded name: the least such name
    std::unordered_map<std::string, std::unique_ptr<SNode>> mByPath;
    // The bases of the last look-ups: a document's URLs start from its
    // folder or the root, over and over.
    std::string mRecentBase[2];
    SNode* mRecentNode[2] = {nullptr, nullptr};
    // The root of the last look-up, as given and without dots; each node
    // remembers whether it is the root of a generation of look-ups.
    bool mHasRoot = false;
    std::string mRoot;
    std::string mRootKey;
    std::size_t mRootGeneration = 1;  // nodes start at 0: not yet known
};

}  // namespace kivoparse
