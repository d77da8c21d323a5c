#pragma once
// The folders of a site as a check sees them: each folder is read once, the
// first time a URL leads into it, so a check of many documents costs one
// listing per folder and a hash look-up per path segment.
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "links/UrlPaths.h"

namespace kivoparse {
namespace cli {

enum class EFound { Exists, OtherCase, Missing };

struct SResolved {
    EFound mFound = EFound::Missing;
    std::string mPath;    // as the URL names it, from the base on
    std::string mActual;  // OtherCase: the path on disk
    // OtherCase: for each segment of the URL, its name on disk where the
    // letter case differs, else "".
    std::vector<std::string> mRecased;
};

class CSiteIndex {
public:
    // Follows the segments of url from the folder base ("" is the current
    // folder): "." stays, ".." goes up (never above "/"), and each name is
    // looked up as written, then with letter case ignored.
    SResolved Resolve(const std::string& base, const SUrlPath& url);

private:
    struct SFolder {
        bool mReadable = false;
        std::unordered_map<std::string, bool> mNames;           // name -> is a folder (as far as known)
        std::unordered_map<std::string, std::string> mFolded;  // folded name -> the least such name
    };
    const SFolder& Folder(const std::string& path);
    std::unordered_map<std::string, std::unique_ptr<SFolder>> mFolders;
};

}  // namespace cli
}  // namespace kivoparse
