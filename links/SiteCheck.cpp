// The check of a site's URLs against its files: each URL is split into
// path segments, resolved through the index of folders, and what is missing
// or found only in another letter case is reported; the case-only ones are
// remembered for the suggested map.
#include <chrono>
#include <cstdint>
#include <filesystem>
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

bool ListOnDisk(const std::string& folder, std::vector<std::string>& names) {
    std::error_code error;
    std::filesystem::directory_iterator entries(folder.empty() ? std::string(".") : folder, error);
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

}  // namespace

// What the check keeps between documents: the folders read, the counts,
// the case-only URLs and, for each URL, whether it must read differently
// in different places.
class CSiteCheck {
public:
    explicit CSiteCheck(SiteCheck::FolderLister lister) : mIndex(std::move(lister)) {}

    std::vector<SiteFinding> Check(const std::string& document, const std::string& root,
                                   const std::vector<UrlOccurrence>& occurrences);
    std::string SuggestedMap() const;
    SiteCounts mCounts;

private:
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

    std::uint64_t Hash(const std::string& bytes, bool folded) const {
        std::uint64_t hash = 14695981039346656037ULL ^ mSeed;
        for (const char c : bytes) hash = (hash ^ (folded ? FoldByte(c) : static_cast<unsigned char>(c))) * 1099511628211ULL;
        return Mix(hash) | 1;  // never 0
    }
    const SSpelling& Slot(std::uint64_t key) const {
        const std::size_t mask = mSpellings.size() - 1;
        for (std::size_t i = key & mask;; i = (i + 1) & mask) {
            if (mSpellings[i].mKey == key || mSpellings[i].mKey == 0) return mSpellings[i];
        }
    }
    SSpelling& Slot(std::uint64_t key) { return const_cast<SSpelling&>(static_cast<const CSiteCheck*>(this)->Slot(key)); }
    void Note(const std::string& url, const std::string& works);
    bool Several(const std::string& url) const { return Slot(Hash(url, true)).mSeveral; }

    CSiteIndex mIndex;
    std::vector<SCaseFix> mCaseFixes;
    std::vector<SSpelling> mSpellings = std::vector<SSpelling>(1024);
    std::size_t mUsed = 0;
    std::uint64_t mSeed = Mix(static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
};

void CSiteCheck::Note(const std::string& url, const std::string& works) {
    const std::uint64_t key = Hash(url, true), spelling = Hash(works, false);
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

std::vector<SiteFinding> CSiteCheck::Check(const std::string& document, const std::string& root,
                                           const std::vector<UrlOccurrence>& occurrences) {
    std::vector<SiteFinding> findings;
    const std::string folder = FolderOf(document);
    for (const UrlOccurrence& o : occurrences) {
        const SUrlPath path = SplitUrlPath(o.url);
        switch (path.mClass) {
            case EUrlClass::External: ++mCounts.external; continue;
            case EUrlClass::Template: ++mCounts.templates; continue;
            case EUrlClass::SameDocument: continue;
            case EUrlClass::Relative:
            case EUrlClass::RootRelative: break;
        }
        ++mCounts.checked;
        SResolved resolved = mIndex.Resolve(path.mClass == EUrlClass::RootRelative ? root : folder, path);
        if (resolved.mFound == EFound::Exists) {
            Note(o.url, o.url);
            continue;
        }
        if (resolved.mFound == EFound::Missing) {
            ++mCounts.missing;
            findings.push_back(SiteFinding{SiteProblem::Missing, o, std::move(resolved.mPath), {}, {}});
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
        Note(o.url, fixed);
        mCaseFixes.push_back(SCaseFix{document, o.url, fixed});
        findings.push_back(
            SiteFinding{SiteProblem::OtherCase, o, std::move(resolved.mPath), std::move(resolved.mActual), fixed});
    }
    return findings;
}

std::string CSiteCheck::SuggestedMap() const {
    std::string text;
    std::unordered_set<std::string> paired;  // folded URLs written
    for (const SCaseFix& fix : mCaseFixes) {
        if (Several(fix.mUrl) || !paired.insert(Folded(fix.mUrl)).second) continue;
        text += fix.mUrl + "\t" + fix.mFixed + "\n";
    }
    std::vector<std::string> files;
    std::unordered_map<std::string, std::vector<const SCaseFix*>> sections;
    std::unordered_set<std::string> inSection;  // file, NUL, folded URL
    for (const SCaseFix& fix : mCaseFixes) {
        if (!Several(fix.mUrl) || !inSection.insert(fix.mFile + std::string(1, '\0') + Folded(fix.mUrl)).second) continue;
        auto& section = sections[fix.mFile];
        if (section.empty()) files.push_back(fix.mFile);
        section.push_back(&fix);
    }
    for (const std::string& file : files) {
        text += "@document " + file + "\n";
        for (const SCaseFix* fix : sections[file]) text += fix->mUrl + "\t" + fix->mFixed + "\n";
    }
    return text;
}

SiteCheck::SiteCheck(FolderLister lister) : mCheck(new CSiteCheck(std::move(lister))) {}
SiteCheck::~SiteCheck() = default;
SiteCheck::SiteCheck(SiteCheck&& other) noexcept = default;
SiteCheck& SiteCheck::operator=(SiteCheck&& other) noexcept = default;

SiteCheck SiteCheck::OnDisk() { return SiteCheck(ListOnDisk); }

SiteCheck SiteCheck::OfPaths(const std::vector<std::string>& files) {
    // Each folder a path goes through, with the names directly inside it.
    auto folders = std::make_shared<std::unordered_map<std::string, std::vector<std::string>>>();
    std::unordered_set<std::string> seen;  // folder, NUL, name
    for (const std::string& file : files) {
        std::string folder;
        for (std::size_t start = 0; start < file.size();) {
            std::size_t slash = file.find('/', start);
            if (slash == std::string::npos) slash = file.size();
            if (slash == 0) {
                folder = "/";
            } else if (slash > start) {
                const std::string name = file.substr(start, slash - start);
                auto& names = (*folders)[folder];
                if (seen.insert(folder + std::string(1, '\0') + name).second) names.push_back(name);
                folder = folder.empty() ? name : folder == "/" ? "/" + name : folder + "/" + name;
            }
            start = slash + 1;
        }
    }
    return SiteCheck([folders](const std::string& folder, std::vector<std::string>& names) {
        const auto found = folders->find(folder);
        if (found == folders->end()) return false;
        names = found->second;
        return true;
    });
}

std::vector<SiteFinding> SiteCheck::Check(const std::string& document, const std::string& root,
                                          const std::vector<UrlOccurrence>& occurrences) {
    return mCheck->Check(document, root, occurrences);
}

const SiteCounts& SiteCheck::Counts() const { return mCheck->mCounts; }

std::string SiteCheck::SuggestedMap() const { return mCheck->SuggestedMap(); }

}  // namespace kivoparse
