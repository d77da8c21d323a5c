// The check of a site's URLs against its files: each URL is split into
// path segments, resolved through the index of folders, and what is missing
// or found only in another letter case is reported; the case-only ones are
// remembered for the suggested map.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <system_error>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include <kivoparse/site.h>

#include "links/CSiteIndex.h"
#include "links/CompareNoCase.h"
#include "links/UrlPaths.h"
#include "tree/HashMix.h"

namespace kivoparse {

namespace {

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return std::string();
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string Folded(std::string text) {
    for (char& c : text) c = static_cast<char>(FoldByte(c));
    return text;
}

// Whether a map file can hold the pair: a line feed would end its line, and
// a TAB in the old value (or the document of a section) would split it.
bool Storable(const std::string& url, const std::string& document) {
    return url.find_first_of("\t\n") == std::string::npos && document.find_first_of("\t\n") == std::string::npos;
}

// Paths are UTF-8 on Windows too: a narrow path there would be read in the
// ANSI code page, and the names listed are given as UTF-8.
bool ListOnDisk(const std::string& folder, std::vector<std::string>& names) {
    std::error_code error;
#ifdef _WIN32
    const std::filesystem::path path = std::filesystem::u8path(folder.empty() ? std::string(".") : folder);
#else
    const std::filesystem::path path(folder.empty() ? std::string(".") : folder);
#endif
    std::filesystem::directory_iterator entries(path, error);
    if (error) return false;
    for (const std::filesystem::directory_iterator end; entries != end; entries.increment(error)) {
        if (error) break;
#ifdef _WIN32
        names.push_back(entries->path().filename().u8string());
#else
        names.push_back(entries->path().filename().string());
#endif
    }
    return true;
}

std::filesystem::path FsPath(const std::string& path) {
#ifdef _WIN32
    return std::filesystem::u8path(path);
#else
    return std::filesystem::path(path);
#endif
}

bool ReadOnDisk(const std::string& path, std::string& text) {
    std::ifstream in(FsPath(path), std::ios::binary);
    if (!in) return false;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// Whether a page of that name is read for its anchors: an HTML page.
bool IsPageName(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return false;
    const std::string ending = Folded(path.substr(dot + 1));
    return ending == "html" || ending == "htm" || ending == "xhtml";
}

// path as seen from root: the part below it, when it lies below it (both
// without their "." and empty segments); else path without dots.
std::string FromRoot(const std::string& path, const std::string& root) {
    const std::string file = PathWithoutDots(path), top = PathWithoutDots(root);
    if (top.empty()) return file;
    const bool slashEnds = top.back() == '/';
    if (file.size() > top.size() && file.compare(0, top.size(), top) == 0 && (slashEnds || file[top.size()] == '/'))
        return file.substr(top.size() + (slashEnds ? 0 : 1));
    return file;
}

// The fragment of url (after its "#", less white space at the end), decoded.
std::string FragmentOf(const std::string& url, std::size_t at) {
    std::size_t end = url.size();
    while (end > at && (url[end - 1] == ' ' || url[end - 1] == '\t' || url[end - 1] == '\n' ||
                        url[end - 1] == '\r' || url[end - 1] == '\f'))
        --end;
    return DecodeUrlBytes(std::string_view(url).substr(at, end - at));
}

std::string KindsList(UrlKinds kinds) {
    if (kinds == UrlKinds::All()) return "all";
    std::string list;
    for (std::size_t i = 0; i < kUrlKindCount; ++i) {
        if (!kinds.Has(static_cast<UrlKind>(i))) continue;
        if (!list.empty()) list += ',';
        list += UrlKindName(static_cast<UrlKind>(i));
    }
    return list;
}

}  // namespace

struct SiteUrls::SUrls {
    std::vector<UrlOccurrence> mOccurrences;
    std::vector<SUrlPath> mPaths;
    // The URL's hashes, with letter case folded and as written (0 for a URL
    // not looked up).
    std::vector<std::pair<std::uint64_t, std::uint64_t>> mHashes;
    std::optional<std::string> mBase;   // the page's <base href>
    std::vector<std::string> mAnchors;  // its ids and A names
    std::optional<UrlKinds> mKinds;     // the kinds its URLs were chosen by
};

SiteUrls::SiteUrls() = default;
SiteUrls::~SiteUrls() = default;
SiteUrls::SiteUrls(SiteUrls&& other) noexcept = default;
SiteUrls& SiteUrls::operator=(SiteUrls&& other) noexcept = default;
std::size_t SiteUrls::Size() const { return mUrls ? mUrls->mOccurrences.size() : 0; }

// What the check keeps between documents: the folders read, the counts,
// the case-only URLs and, for each URL, whether it must read differently
// in different places.
class SiteCheck::State {
public:
    explicit State(SiteCheck::FolderLister lister, bool onDisk = false)
        : mIndex(std::move(lister)), mOnDisk(onDisk) {}

    SiteUrls Prepare(std::vector<UrlOccurrence> occurrences) const;
    std::vector<SiteFinding> CheckAnchors();
    std::vector<SiteFinding> Check(const std::string& document, const std::string& root, const SiteUrls::SUrls& urls,
                                   bool stopAtRoot);
    // Writes the suggested map to text (null: only counts); returns how
    // many repairs a map file cannot hold.
    std::size_t SuggestedMap(std::string* text) const;
    SiteCounts mCounts;
    bool mCheckFragments = false;

private:
    // A URL with a fragment whose page was found: checked at the end, when
    // every page's anchors are known.
    struct SFragment {
        UrlOccurrence mOccurrence;
        std::string mDocument;
        std::string mPage;  // without dots
        std::string mFragment;
    };
    // Keeps the fragment of a URL whose page is page, if it has one.
    void KeepFragment(const std::string& document, const UrlOccurrence& o, const SUrlPath& path,
                      const std::string& page);
    // For each URL (its folded bytes, hashed), the hash of the first
    // spelling that works where it stands, and whether another one does
    // somewhere else: 16 bytes a URL, whatever the site.
    struct SSpelling {
        std::uint64_t mKey = 0;  // 0: the slot is free
        std::uint64_t mSpelling = 0;
        bool mSeveral = false;
    };
    // Each case-only URL repaired: document, URL, repaired spelling.
    struct SCaseFix {
        std::string mFile;
        std::string mUrl;
        std::string mFixed;
    };

    // The hashes of bytes with letter case folded and as written, never 0.
    std::pair<std::uint64_t, std::uint64_t> Hashes(const std::string& bytes) const {
        std::uint64_t folded = 14695981039346656037ULL ^ mSeed, written = folded;
        for (const char c : bytes) {
            folded = (folded ^ FoldByte(c)) * 1099511628211ULL;
            written = (written ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
        }
        return {Mix(folded) | 1, Mix(written) | 1};
    }
    const SSpelling& Slot(std::uint64_t key) const {
        const std::size_t mask = mSpellings.size() - 1;
        for (std::size_t i = key & mask;; i = (i + 1) & mask) {
            if (mSpellings[i].mKey == key || mSpellings[i].mKey == 0) return mSpellings[i];
        }
    }
    SSpelling& Slot(std::uint64_t key) { return const_cast<SSpelling&>(static_cast<const State*>(this)->Slot(key)); }
    void Note(std::uint64_t key, std::uint64_t spelling);
    bool Several(const std::string& url) const { return Slot(Hashes(url).first).mSeveral; }

    CSiteIndex mIndex;
    std::vector<SCaseFix> mCaseFixes;
    std::vector<SSpelling> mSpellings = std::vector<SSpelling>(1024);
    std::size_t mUsed = 0;
    std::uint64_t mSeed = Mix(static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    bool mOnDisk;
    std::optional<UrlKinds> mKinds;  // of every document checked, once told
    std::vector<SFragment> mFragments;
    // Each page's anchors, decoded, by its path without dots; a page read in
    // vain has an empty entry in mUnreadable.
    std::unordered_map<std::string, std::unordered_set<std::string>> mAnchorsOf;
    std::unordered_set<std::string> mUnreadable;
};

void SiteCheck::State::KeepFragment(const std::string& document, const UrlOccurrence& o, const SUrlPath& path,
                              const std::string& page) {
    if (!mCheckFragments || path.mFragment == std::string::npos) return;
    std::string fragment = FragmentOf(o.url, path.mFragment);
    // "#" and "#top" lead to the top of any page.
    if (fragment.empty() || Folded(fragment) == "top") return;
    mFragments.push_back(SFragment{o, document, PathWithoutDots(page), std::move(fragment)});
}

std::vector<SiteFinding> SiteCheck::State::CheckAnchors() {
    std::vector<SiteFinding> findings;
    for (SFragment& f : mFragments) {
        auto anchors = mAnchorsOf.find(f.mPage);
        if (anchors == mAnchorsOf.end()) {
            if (!mOnDisk || !IsPageName(f.mPage) || mUnreadable.count(f.mPage)) continue;
            std::string text;
            if (!ReadOnDisk(f.mPage, text)) {
                mUnreadable.insert(f.mPage);
                continue;
            }
            Parser parser;
            parser.SetRawText(true);
            parser.ParseHTML(std::move(text));
            std::unordered_set<std::string>& own = mAnchorsOf[f.mPage];
            for (const std::string& anchor : parser.GetAnchors()) own.insert(DecodeUrlBytes(anchor));
            anchors = mAnchorsOf.find(f.mPage);
        }
        ++mCounts.fragments;
        if (anchors->second.count(f.mFragment)) continue;
        ++mCounts.noAnchor;
        findings.push_back(SiteFinding{SiteProblem::NoAnchor, std::move(f.mOccurrence), f.mPage, f.mFragment, {},
                                       std::move(f.mDocument)});
    }
    mFragments.clear();
    return findings;
}

// Notes that the URL of hash key works where it stands as the spelling of
// that hash.
void SiteCheck::State::Note(std::uint64_t key, std::uint64_t spelling) {
    SSpelling& slot = Slot(key);
    if (slot.mKey != 0) {
        if (slot.mSpelling != spelling) slot.mSeveral = true;
        return;
    }
    slot = SSpelling{key, spelling, false};
    if (++mUsed * 2 <= mSpellings.size()) return;
    std::vector<SSpelling> old(mSpellings.size() * 2);
    old.swap(mSpellings);
    for (const SSpelling& entry : old) {
        if (entry.mKey != 0) Slot(entry.mKey) = entry;
    }
}

SiteUrls SiteCheck::State::Prepare(std::vector<UrlOccurrence> occurrences) const {
    SiteUrls urls;
    urls.mUrls = std::make_unique<SiteUrls::SUrls>();
    SiteUrls::SUrls& ready = *urls.mUrls;
    ready.mPaths.reserve(occurrences.size());
    ready.mHashes.reserve(occurrences.size());
    for (const UrlOccurrence& o : occurrences) {
        ready.mPaths.push_back(SplitUrlPath(o.url));
        const EUrlClass kind = ready.mPaths.back().mClass;
        const bool local = kind == EUrlClass::Relative || kind == EUrlClass::RootRelative;
        ready.mHashes.push_back(local ? Hashes(o.url) : std::pair<std::uint64_t, std::uint64_t>());
    }
    ready.mOccurrences = std::move(occurrences);
    return urls;
}

std::vector<SiteFinding> SiteCheck::State::Check(const std::string& document, const std::string& root,
                                           const SiteUrls::SUrls& urls, bool stopAtRoot) {
    std::vector<SiteFinding> findings;
    if (urls.mKinds) mKinds = mKinds ? *mKinds | *urls.mKinds : *urls.mKinds;
    if (mCheckFragments) {
        std::unordered_set<std::string>& own = mAnchorsOf[PathWithoutDots(document)];
        for (const std::string& anchor : urls.mAnchors) own.insert(DecodeUrlBytes(anchor));
    }
    // Relative URLs start from the document's folder, or where its base
    // leads: a base on another host makes them and root-relative ones
    // external too.
    std::string folder = FolderOf(document);
    bool externalBase = false;
    if (urls.mBase) {
        const SUrlPath base = SplitUrlPath(*urls.mBase);
        const std::string rootKey = PathWithoutDots(root);
        if (base.mClass == EUrlClass::External) externalBase = true;
        else if (base.mClass == EUrlClass::Relative) folder = BaseFolder(folder, base, stopAtRoot ? &rootKey : nullptr);
        else if (base.mClass == EUrlClass::RootRelative) folder = BaseFolder(root, base, stopAtRoot ? &rootKey : nullptr);
    }
    const std::string mapDocument = FromRoot(document, root);
    for (std::size_t at = 0; at < urls.mOccurrences.size(); ++at) {
        const UrlOccurrence& o = urls.mOccurrences[at];
        const SUrlPath& path = urls.mPaths[at];
        switch (path.mClass) {
            case EUrlClass::External: ++mCounts.external; continue;
            case EUrlClass::Template: ++mCounts.templates; continue;
            case EUrlClass::SameDocument: KeepFragment(document, o, path, document); continue;
            case EUrlClass::Relative:
            case EUrlClass::RootRelative:
                if (externalBase) {
                    ++mCounts.external;
                    continue;
                }
                break;
        }
        ++mCounts.checked;
        const bool wantFound = mCheckFragments && path.mFragment != std::string::npos;
        SResolved resolved =
            mIndex.Resolve(path.mClass == EUrlClass::RootRelative ? root : folder, path, stopAtRoot ? &root : nullptr,
                           wantFound);
        if (resolved.mAboveRoot) {
            ++mCounts.aboveRoot;
            std::string where = resolved.mFound == EFound::Missing ? std::move(resolved.mPath) : std::move(resolved.mOnDisk);
            findings.push_back(SiteFinding{SiteProblem::AboveRoot, o, std::move(where), {}, {}, {}});
            continue;
        }
        if (resolved.mFound == EFound::Exists) {
            Note(urls.mHashes[at].first, urls.mHashes[at].second);
            KeepFragment(document, o, path, resolved.mOnDisk);
            continue;
        }
        if (resolved.mFound == EFound::Missing) {
            ++mCounts.missing;
            findings.push_back(SiteFinding{SiteProblem::Missing, o, std::move(resolved.mPath), {}, {}, {}});
            continue;
        }
        ++mCounts.otherCase;
        std::string fixed = o.url;
        for (std::size_t i = path.mSegments.size(); i-- > 0;) {
            if (resolved.mRecased[i].empty()) continue;
            const SUrlSegment& segment = path.mSegments[i];
            const std::size_t length = segment.mRawEnd - segment.mRawStart;
            fixed.replace(segment.mRawStart, length,
                          RecaseSegment(std::string_view(o.url).substr(segment.mRawStart, length), resolved.mRecased[i]));
        }
        Note(urls.mHashes[at].first, Hashes(fixed).second);
        KeepFragment(document, o, path, resolved.mOnDisk);
        mCaseFixes.push_back(SCaseFix{mapDocument, o.url, fixed});
        findings.push_back(
            SiteFinding{SiteProblem::OtherCase, o, std::move(resolved.mPath), std::move(resolved.mActual), fixed, {}});
    }
    return findings;
}

std::size_t SiteCheck::State::SuggestedMap(std::string* text) const {
    std::size_t unstorable = 0;
    MapFile map;
    if (mKinds) map.kinds = KindsList(*mKinds);
    std::unordered_set<std::string> paired;  // folded URLs written
    for (const SCaseFix& fix : mCaseFixes) {
        if (Several(fix.mUrl) || !paired.insert(Folded(fix.mUrl)).second) continue;
        if (!Storable(fix.mUrl, std::string())) ++unstorable;
        else if (text) map.lines.push_back(MapLine{std::nullopt, fix.mUrl, fix.mFixed, false, 0});
    }
    std::vector<std::string> files;
    std::unordered_map<std::string, std::vector<const SCaseFix*>> sections;
    std::unordered_set<std::string> inSection;  // file, NUL, folded URL
    for (const SCaseFix& fix : mCaseFixes) {
        if (!Several(fix.mUrl) || !inSection.insert(fix.mFile + std::string(1, '\0') + Folded(fix.mUrl)).second) continue;
        if (!Storable(fix.mUrl, fix.mFile)) {
            ++unstorable;
        } else if (text) {
            auto& section = sections[fix.mFile];
            if (section.empty()) files.push_back(fix.mFile);
            section.push_back(&fix);
        }
    }
    for (const std::string& file : files) {
        for (const SCaseFix* fix : sections[file]) map.lines.push_back(MapLine{file, fix->mUrl, fix->mFixed, false, 0});
    }
    if (text) *text += WriteMapFile(map);
    return unstorable;
}

std::string SitePath(const std::string& path, const std::string& root) { return FromRoot(path, root); }

SiteCheck::SiteCheck(FolderLister lister) : mCheck(new State(std::move(lister))) {}
SiteCheck::~SiteCheck() = default;
SiteCheck::SiteCheck(SiteCheck&& other) noexcept = default;
SiteCheck& SiteCheck::operator=(SiteCheck&& other) noexcept = default;

SiteCheck SiteCheck::OnDisk() {
    SiteCheck check(ListOnDisk);
    check.mCheck.reset(new State(ListOnDisk, true));
    return check;
}

SiteCheck SiteCheck::OfPaths(const std::vector<std::string>& files) {
    // Each folder a path goes through, with the names directly inside it.
    auto folders = std::make_shared<std::unordered_map<std::string, std::vector<std::string>>>();
    std::unordered_set<std::string> seen;  // folder, NUL, name
    for (const std::string& path : files) {
        const std::string file = PathWithoutDots(path);
        std::string folder = file.compare(0, 1, "/") == 0 ? "/" : "";
        for (std::size_t start = folder.size(); start < file.size();) {
            std::size_t slash = file.find('/', start);
            if (slash == std::string::npos) slash = file.size();
            const std::string name = file.substr(start, slash - start);
            if (seen.insert(folder + std::string(1, '\0') + name).second) (*folders)[folder].push_back(name);
            folder = folder.empty() ? name : folder == "/" ? "/" + name : folder + "/" + name;
            start = slash + 1;
        }
    }
    return SiteCheck([folders](const std::string& folder, std::vector<std::string>& names) {
        const auto found = folders->find(PathWithoutDots(folder));
        if (found == folders->end()) return false;
        names = found->second;
        return true;
    });
}

SiteUrls SiteCheck::Prepare(std::vector<UrlOccurrence> occurrences) const {
    return mCheck->Prepare(std::move(occurrences));
}

SiteUrls SiteCheck::Prepare(std::vector<UrlOccurrence> occurrences, std::optional<std::string> baseHref,
                            std::vector<std::string> anchors, UrlKinds kinds) const {
    SiteUrls urls = mCheck->Prepare(std::move(occurrences));
    urls.mUrls->mBase = std::move(baseHref);
    if (mCheck->mCheckFragments) urls.mUrls->mAnchors = std::move(anchors);
    urls.mUrls->mKinds = kinds;
    return urls;
}

SiteUrls SiteCheck::Prepare(Parser& parser, UrlKinds kinds) const {
    std::vector<std::string> anchors;
    if (mCheck->mCheckFragments) anchors = parser.GetAnchors();
    return Prepare(parser.GetUrlOccurrences(kinds), parser.GetBaseHref(), std::move(anchors), kinds);
}

void SiteCheck::CheckFragments(bool on) { mCheck->mCheckFragments = on; }

std::vector<SiteFinding> SiteCheck::CheckAnchors() { return mCheck->CheckAnchors(); }

std::vector<SiteFinding> SiteCheck::Check(const std::string& document, const std::string& root,
                                          const std::vector<UrlOccurrence>& occurrences) {
    return Check(document, root, Prepare(occurrences));
}

std::vector<SiteFinding> SiteCheck::Check(const std::string& document, const std::string& root, const SiteUrls& urls) {
    return Check(document, root, urls, true);
}

std::vector<SiteFinding> SiteCheck::Check(const std::string& document, const std::string& root, const SiteUrls& urls,
                                          bool stopAtRoot) {
    if (!urls.mUrls) return {};
    return mCheck->Check(document, root, *urls.mUrls, stopAtRoot);
}

const SiteCounts& SiteCheck::Counts() const { return mCheck->mCounts; }

std::string SiteCheck::SuggestedMap() const {
    std::string text;
    mCheck->SuggestedMap(&text);
    return text;
}
std::size_t SiteCheck::LeftOutOfSuggestedMap() const { return mCheck->SuggestedMap(nullptr); }

}  // namespace kivoparse
