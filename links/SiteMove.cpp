// The planning of a move inside a site: which URLs reach what moves, which
// URLs of the moved documents must change to reach from their new folder
// what they reached before, and how each is written anew in its own style.
#include <algorithm>
#include <cctype>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include <kivoparse/site.h>

#include "links/CompareNoCase.h"
#include "links/UrlPaths.h"

namespace kivoparse {

namespace {

using Segments = std::vector<std::string>;

Segments Split(const std::string& path) {
    Segments out;
    for (std::size_t start = 0; start < path.size();) {
        std::size_t slash = path.find('/', start);
        if (slash == std::string::npos) slash = path.size();
        if (slash > start) out.push_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    return out;
}

std::string Join(const Segments& segments, std::size_t from = 0, std::size_t to = std::string::npos) {
    std::string out;
    to = std::min(to, segments.size());
    for (std::size_t i = from; i < to; ++i) {
        if (i > from) out += '/';
        out += segments[i];
    }
    return out;
}

std::string Folded(std::string text) {
    for (char& c : text) c = static_cast<char>(FoldByte(c));
    return text;
}

// A path from the site's root: "." and empty segments dropped, a leading
// "/" too (the root is where paths start).
std::string RootPath(const std::string& path) {
    std::string out = PathWithoutDots(path);
    if (!out.empty() && out[0] == '/') out.erase(0, 1);
    return out;
}

bool IsUnder(const std::string& path, const std::string& folder) {
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/';
}

// A name as a URL segment: the bytes a URL or any quoting of an attribute
// value cannot hold as they are become %XX, every other byte stays.
std::string EncodeName(const std::string& name) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F || std::string_view("\"#%&'<>?\\`").find(c) != std::string_view::npos) {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        } else {
            out += c;
        }
    }
    return out;
}

// One segment of a resolved path: its name, and its bytes in the URL when
// the URL wrote it (else it came from the document's folder).
struct SResolvedSegment {
    std::string mName;
    std::string_view mRaw;
};

// Where the path of a URL starts from, and how it is written.
enum class EStyle { Relative, RootRelative, Absolute };

}  // namespace

struct SiteMove::SSite {
    std::string mSrc, mDst;
    Segments mSrcSegments, mDstSegments;
    std::unordered_set<std::string> mFiles;
    std::unordered_set<std::string> mFolders;
    std::unordered_map<std::string, std::string> mFolded;  // folded path: the least path so spelt
    std::vector<std::pair<std::string, std::string>> mMoved;
    std::string mSiteHost;  // "https://example.com", "" for none
    std::string mSitePath;  // "/docs/": where root-relative URLs enter the site

    bool Exists(const std::string& path) const { return mFiles.count(path) || mFolders.count(path); }
    std::string NewPath(const std::string& path) const {
        if (path == mSrc) return mDst;
        if (IsUnder(path, mSrc)) return mDst + path.substr(mSrc.size());
        return path;
    }
    // The folders a document's relative URLs start from, before and after
    // the move: its own, or where its <base href> leads. False for a base
    // outside the site: its relative URLs are not the site's.
    bool Folders(const std::string& document, const std::optional<std::string>& base, Segments& folderOld,
                 Segments& folderNew) const;
    bool Change(const Segments* folderOld, const Segments* folderNew, const std::string& url, std::string& newUrl) const;
};

SiteMove::SiteMove(const std::vector<std::string>& files, const std::string& src, const std::string& dst,
                   const std::string& siteUrl) {
    auto site = std::make_unique<SSite>();
    for (const std::string& file : files) {
        const std::string path = RootPath(file);
        if (path.empty() || !site->mFiles.insert(path).second) continue;
        for (std::size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1)) {
            site->mFolders.insert(path.substr(0, slash));
        }
    }
    for (const auto* set : {&site->mFiles, &site->mFolders}) {
        for (const std::string& path : *set) {
            auto placed = site->mFolded.emplace(Folded(path), path);
            if (!placed.second && path < placed.first->second) placed.first->second = path;
        }
    }
    auto quoted = [](const std::string& path) { return "'" + path + "'"; };
    site->mSrc = RootPath(src);
    site->mDst = RootPath(dst);
    site->mSrcSegments = Split(site->mSrc);
    site->mDstSegments = Split(site->mDst);
    for (const std::string* path : {&src, &dst}) {
        const std::string& clean = path == &src ? site->mSrc : site->mDst;
        if (clean.empty()) throw MoveError(quoted(*path) + " is the site's root; give a file or folder inside it");
        for (const std::string& segment : Split(clean)) {
            if (segment == "..") throw MoveError(quoted(*path) + " climbs out of the site's root");
        }
    }
    const std::string& from = site->mSrc;
    const std::string& to = site->mDst;
    if (!site->Exists(from)) throw MoveError(quoted(from) + " is no file or folder of the site");
    const bool caseOnly = from != to && EqualsNoCase(from, to);
    if (from == to) throw MoveError(quoted(from) + " and " + quoted(to) + " are the same path");
    if (site->Exists(to) && !caseOnly) throw MoveError(quoted(to) + " exists already; nothing is overwritten");
    if (IsUnder(to, from)) throw MoveError("cannot move " + quoted(from) + " into itself (" + quoted(to) + ")");
    for (std::size_t slash = to.find('/'); slash != std::string::npos; slash = to.find('/', slash + 1)) {
        if (site->mFiles.count(to.substr(0, slash))) {
            throw MoveError(quoted(to.substr(0, slash)) + " is a file, so " + quoted(to) + " cannot be made");
        }
    }
    for (const std::string& file : files) {
        const std::string path = RootPath(file);
        if (path == from || IsUnder(path, from)) site->mMoved.emplace_back(path, site->NewPath(path));
    }
    if (!siteUrl.empty()) {
        // "scheme://host" then the path the site is served under.
        std::size_t at = 0;
        while (at < siteUrl.size() && (std::isalnum(static_cast<unsigned char>(siteUrl[at])) ||
                                       std::string_view("+-.").find(siteUrl[at]) != std::string_view::npos)) {
            ++at;
        }
        if (at == 0 || siteUrl.compare(at, 3, "://") != 0 || at + 3 >= siteUrl.size() || siteUrl[at + 3] == '/') {
            throw MoveError("the site's URL " + quoted(siteUrl) + " is no scheme://host/... URL");
        }
        const std::size_t pathStart = std::min(siteUrl.find('/', at + 3), siteUrl.size());
        site->mSiteHost = siteUrl.substr(0, pathStart);
        site->mSitePath = pathStart < siteUrl.size() ? siteUrl.substr(pathStart) : "/";
        if (site->mSitePath.back() != '/') site->mSitePath += '/';
    } else {
        site->mSitePath = "/";
    }
    mSite = std::move(site);
}

SiteMove::~SiteMove() = default;
SiteMove::SiteMove(SiteMove&& other) noexcept = default;
SiteMove& SiteMove::operator=(SiteMove&& other) noexcept = default;

const std::string& SiteMove::Source() const { return mSite->mSrc; }
const std::string& SiteMove::Destination() const { return mSite->mDst; }
const std::vector<std::pair<std::string, std::string>>& SiteMove::MovedFiles() const { return mSite->mMoved; }
std::string SiteMove::NewPath(const std::string& path) const { return mSite->NewPath(RootPath(path)); }

// The new spelling of one URL of a document whose folder was folderOld and
// is folderNew; false when the URL stays as it is.
//
// The URL is resolved lexically to a path of written names, then found
// on the site as written or, failing that, in another letter case. What it
// reaches moves when that path is src or lies under it. The URL is left
// alone when, read from the document's new folder, it names what it must;
// else it is written again: the part of its path that moves in the names
// of dst, every other segment as the URL wrote it.
bool SiteMove::SSite::Change(const Segments* folderOld, const Segments* folderNew, const std::string& url,
                             std::string& newUrl) const {
    SUrlPath split = SplitUrlPath(url);
    EStyle style = EStyle::Relative;
    std::size_t shift = 0;      // where the path split was read, in url
    std::size_t keepUntil = 0;  // url's bytes before the path, kept
    auto enterAt = [&](std::size_t at) {
        // The rest of the URL, from the site's root on.
        shift = at;
        keepUntil = at;
        split = SplitUrlPath(std::string_view(url).substr(at));
        return split.mClass == EUrlClass::Relative;
    };
    switch (split.mClass) {
        case EUrlClass::SameDocument:
        case EUrlClass::Template: return false;
        case EUrlClass::External: {
            const std::size_t begin = url.find_first_not_of(" \t\n\r\f");
            if (mSiteHost.empty() || begin == std::string::npos ||
                !EqualsNoCase(std::string_view(url).substr(begin, mSiteHost.size()), mSiteHost) ||
                url.compare(begin + mSiteHost.size(), mSitePath.size(), mSitePath) != 0 ||
                !enterAt(begin + mSiteHost.size() + mSitePath.size())) {
                return false;
            }
            style = EStyle::Absolute;
            break;
        }
        case EUrlClass::RootRelative:
            if (!folderOld) return false;  // a base on another host: "/x" is there too
            style = EStyle::RootRelative;
            if (mSitePath == "/") {
                keepUntil = split.mBegin + 1;
            } else if (url.compare(split.mBegin, mSitePath.size(), mSitePath) != 0 ||
                       !enterAt(split.mBegin + mSitePath.size())) {
                return false;
            }
            break;
        case EUrlClass::Relative:
            if (!folderOld) return false;  // from a base outside the site
            keepUntil = split.mBegin;
            break;
    }
    // The path the URL names, each segment with its bytes in the URL.
    std::vector<SResolvedSegment> resolved;
    bool climbed = false;  // above the root, where a browser stops
    static const Segments kRoot;
    auto resolve = [&](const Segments& folder) {
        resolved.clear();
        climbed = false;
        if (style == EStyle::Relative) {
            for (const std::string& name : folder) resolved.push_back({name, std::string_view()});
        }
        FollowPath(
            split, 0, split.mSegments.size(), [&] { return resolved.empty(); }, [&] { resolved.pop_back(); },
            [&] { climbed = true; },
            [&](std::size_t i) {
                const SUrlSegment& segment = split.mSegments[i];
                resolved.push_back({segment.mName, std::string_view(url).substr(shift + segment.mRawStart,
                                                                                 segment.mRawEnd - segment.mRawStart)});
                return true;
            });
    };
    resolve(folderOld ? *folderOld : kRoot);
    const bool climbedBefore = climbed;
    Segments written;
    for (const SResolvedSegment& segment : resolved) written.push_back(segment.mName);
    const std::string path = Join(written);
    // The path on the site: as written, else in another letter case.
    Segments actual = written;
    bool found = Exists(path);
    if (!found) {
        const auto other = mFolded.find(Folded(path));
        // A name holding "/" (written "%2F") would split into more
        // segments than the URL has: such a URL is taken as written.
        if (other != mFolded.end() && Split(other->second).size() == written.size()) {
            actual = Split(other->second);
            found = true;
        }
    }
    const std::size_t s = mSrcSegments.size();
    bool moves = actual.size() >= s;
    for (std::size_t i = 0; moves && i < s; ++i) {
        moves = found ? actual[i] == mSrcSegments[i] : EqualsNoCase(actual[i], mSrcSegments[i]);
    }
    // The names the URL must reach, as it writes them, and as they are on the site.
    Segments wanted = moves ? mDstSegments : Segments();
    Segments target = wanted;
    std::vector<std::string> spelt;
    bool shared = true;  // the folders src and dst share keep the URL's spelling
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        shared = shared && i + 1 < s && i + 1 < wanted.size() && mSrcSegments[i] == wanted[i];
        spelt.push_back(shared && resolved[i].mRaw.data() ? std::string(resolved[i].mRaw) : EncodeName(wanted[i]));
    }
    for (std::size_t i = moves ? s : 0; i < resolved.size(); ++i) {
        wanted.push_back(resolved[i].mName);
        target.push_back(actual[i]);
        spelt.push_back(resolved[i].mRaw.data() ? std::string(resolved[i].mRaw) : EncodeName(resolved[i].mName));
    }
    if (style != EStyle::Relative) {
        if (!moves) return false;
    } else {
        // A URL that would climb above the root from the new folder (and
        // did not before) is written anew, though a browser would stop.
        resolve(*folderNew);  // relative: the folders are known
        bool same = resolved.size() == wanted.size() && (!climbed || climbedBefore);
        for (std::size_t i = 0; same && i < wanted.size(); ++i) same = resolved[i].mName == wanted[i];
        if (same) return false;
    }
    std::string rebuilt;
    if (style == EStyle::Relative) {
        std::size_t common = 0;
        const Segments& from = *folderNew;
        while (common < target.size() && common < from.size() && target[common] == from[common]) ++common;
        for (std::size_t up = common; up < from.size(); ++up) rebuilt += up > common ? "/.." : "..";
        for (std::size_t i = common; i < spelt.size(); ++i) {
            if (!rebuilt.empty()) rebuilt += '/';
            rebuilt += spelt[i];
        }
        // "a:b.html" would read as a scheme; "" as the document itself.
        const std::size_t colon = rebuilt.find(':');
        if (rebuilt.empty() || (colon != std::string::npos && colon < rebuilt.find('/'))) rebuilt.insert(0, "./");
    } else {
        for (std::size_t i = 0; i < spelt.size(); ++i) rebuilt += (i ? "/" : "") + spelt[i];
    }
    if (split.mNamesFolder && (rebuilt.empty() || rebuilt.back() != '/')) rebuilt += '/';
    newUrl = url.substr(0, keepUntil) + rebuilt + url.substr(shift + split.mPathEnd);
    return newUrl != url;
}

bool SiteMove::SSite::Folders(const std::string& document, const std::optional<std::string>& base,
                              Segments& folderOld, Segments& folderNew) const {
    folderOld = Split(document);
    folderNew = Split(NewPath(document));
    if (!folderOld.empty()) folderOld.pop_back();
    if (!folderNew.empty()) folderNew.pop_back();
    if (!base) return true;
    // The base is read as a URL of the document, its last segment dropped
    // unless it names a folder.
    SUrlPath split = SplitUrlPath(*base);
    std::size_t at = 0;
    bool fromRoot = false;
    switch (split.mClass) {
        case EUrlClass::SameDocument:
        case EUrlClass::Template: return true;
        case EUrlClass::External: {
            const std::size_t begin = base->find_first_not_of(" \t\n\r\f");
            if (mSiteHost.empty() || begin == std::string::npos ||
                !EqualsNoCase(std::string_view(*base).substr(begin, mSiteHost.size()), mSiteHost) ||
                base->compare(begin + mSiteHost.size(), mSitePath.size(), mSitePath) != 0) {
                return false;
            }
            at = begin + mSiteHost.size() + mSitePath.size();
            fromRoot = true;
            break;
        }
        case EUrlClass::RootRelative:
            fromRoot = true;
            if (mSitePath != "/") {
                if (base->compare(split.mBegin, mSitePath.size(), mSitePath) != 0) return false;
                at = split.mBegin + mSitePath.size();
            }
            break;
        case EUrlClass::Relative: break;
    }
    if (at > 0) split = SplitUrlPath(std::string_view(*base).substr(at));
    for (Segments* folder : {&folderOld, &folderNew}) {
        if (fromRoot) folder->clear();
        FollowPath(
            split, 0, BaseFolderSegments(split), [folder] { return folder->empty(); }, [folder] { folder->pop_back(); },
            [] {},
            [&](std::size_t i) {
                folder->push_back(split.mSegments[i].mName);
                return true;
            });
    }
    return true;
}

DocumentChanges SiteMove::Plan(const std::string& document, const std::vector<UrlOccurrence>& occurrences,
                               const std::optional<std::string>& baseHref) const {
    DocumentChanges changes;
    changes.path = RootPath(document);
    changes.newPath = mSite->NewPath(changes.path);
    Segments folderOld, folderNew;
    const bool local = mSite->Folders(changes.path, baseHref, folderOld, folderNew);
    std::string newUrl;
    for (const UrlOccurrence& o : occurrences) {
        if (mSite->Change(local ? &folderOld : nullptr, local ? &folderNew : nullptr, o.url, newUrl)) {
            changes.changes.push_back(UrlChange{o, newUrl});
        }
    }
    return changes;
}

UrlRewriter SiteMove::Rewriter(const std::string& document, const std::optional<std::string>& baseHref) const {
    auto folderOld = std::make_shared<Segments>(), folderNew = std::make_shared<Segments>();
    const std::string path = RootPath(document);
    const bool local = mSite->Folders(path, baseHref, *folderOld, *folderNew);
    const SSite* site = mSite.get();
    return [site, local, folderOld, folderNew](UrlKind, std::string_view url) -> std::optional<std::string> {
        std::string newUrl;
        if (!site->Change(local ? folderOld.get() : nullptr, local ? folderNew.get() : nullptr, std::string(url),
                          newUrl)) {
            return std::nullopt;
        }
        return newUrl;
    };
}

}  // namespace kivoparse
