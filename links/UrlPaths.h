#pragma once
// What a URL names on disk, for a check of a site: whether it is external,
// and the path segments of a local one, decoded, each with its place in the
// URL so that a segment can be written again in another letter case.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kivoparse {

enum class EUrlClass {
    Relative,      // against the document's folder
    RootRelative,  // "/..." against the site's root
    External,      // a scheme ("http:", "mailto:") or "//host": not on this disk
    SameDocument,  // "" or "#fragment": the document itself
    Template,      // holds an insert block "<|...|>": known only when served
};

struct SUrlSegment {
    std::size_t mRawStart;  // the segment's bytes in the URL
    std::size_t mRawEnd;
    std::string mName;  // decoded: %XX and character references
};

struct SUrlPath {
    EUrlClass mClass = EUrlClass::Relative;
    std::vector<SUrlSegment> mSegments;  // empty ones ("a//b", a trailing "/") left out
    bool mNamesFolder = false;           // the path ends with "/" (or "." / "..")
    // Local URLs: where the path starts (after white space) and ends (at
    // the query, the fragment or trailing white space), so that a path can
    // be written anew with the rest of the URL kept.
    std::size_t mBegin = 0;
    std::size_t mPathEnd = 0;
    // Where the fragment starts in the URL (the byte after "#"); npos: none.
    std::size_t mFragment = std::string_view::npos;
};

// path without its "." and empty segments: "./a//b" and "a/b" name one file.
std::string PathWithoutDots(const std::string& path);

// The one walk of a URL's path, as browsers resolve it, for the site check
// and the move alike: segments [from, to) of url are followed from a
// folder; "." stays, ".." goes to the parent folder (up()) unless atRoot():
// at the site's root a browser stays, and climbed() is told; every other
// name is entered (enter(i), false to stop the walk: false is returned).
template <class AtRoot, class Up, class Climbed, class Enter>
bool FollowPath(const SUrlPath& url, std::size_t from, std::size_t to, AtRoot atRoot, Up up, Climbed climbed,
                Enter enter) {
    for (std::size_t i = from; i < to; ++i) {
        const std::string& name = url.mSegments[i].mName;
        if (name == ".") continue;
        if (name == "..") {
            if (atRoot()) climbed();
            else up();
            continue;
        }
        if (!enter(i)) return false;
    }
    return true;
}

// How many of a <base href>'s segments name the folder its document's
// relative URLs start from: all but the last, unless the path ends in "/".
inline std::size_t BaseFolderSegments(const SUrlPath& base) {
    return base.mSegments.size() - (base.mNamesFolder || base.mSegments.empty() ? 0 : 1);
}

// The folder a <base href> names, lexically from start (the document's
// folder, or the root for "/..."), with FollowPath: its path but for the
// last name, unless it ends in "/". A ".." at rootKey (a path without
// dots, when given) or at "/" stays there; elsewhere it drops start's last
// name, or adds ".." to a start that is empty or ends in "..".
std::string BaseFolder(std::string start, const SUrlPath& base, const std::string* rootKey);

// Backslashes separate segments as slashes do (browsers read them so); the
// query and fragment are no part of the path.
SUrlPath SplitUrlPath(std::string_view url);

// Decodes %XX escapes (a "%" not followed by two hex digits stays) and the
// character references &amp; &lt; &gt; &quot; &apos; &#N; &#xH; (as UTF-8).
std::string DecodeUrlBytes(std::string_view raw);

// raw (a segment as written) with each of its letters in the case of the
// same letter of actual, which is raw decoded but for letter case; escapes
// that stand for a letter of another case are written as that letter.
std::string RecaseSegment(std::string_view raw, std::string_view actual);

}  // namespace kivoparse
