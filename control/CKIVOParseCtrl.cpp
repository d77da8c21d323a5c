#include "control/CKIVOParseCtrl.h"

#include <utility>

#include "engine/CParsingEngine.h"
#include "links/CUrlMap.h"
#include "tree/ReplaceAll.h"

namespace kivoparse {

CKIVOParseCtrl::CKIVOParseCtrl() { mLogLink.mLog = &mLogFile; }

// The members go in reverse order: the engine and its tree first, while the
// log they may still reach is alive, then the log, the link and the base.
CKIVOParseCtrl::~CKIVOParseCtrl() = default;

std::string CKIVOParseCtrl::GetHTML() {
    if (!mEngine) return std::string();
    return mEngine->GetHTML();
}

// Pieces of 64 KiB: for now the whole text is written first.
void CKIVOParseCtrl::WriteHTML(const std::function<void(std::string_view)>& sink) {
    if (!mEngine) return;
    const std::string html = mEngine->GetHTML();
    constexpr std::size_t kPiece = 64 * 1024;
    for (std::size_t at = 0; at < html.size(); at += kPiece) {
        sink(std::string_view(html).substr(at, kPiece));
    }
}

// The old tree goes before the new engine is made, so two trees never live
// at once.
std::int32_t CKIVOParseCtrl::ParseHTML(std::string html) {
    mEngine.reset();
    mEngine = std::make_unique<CParsingEngine>();
    mEngine->SetLogLink(&mLogLink);
    mEngine->SetDocumentBase(mDocumentBase);
    return mEngine->ParseHTML(std::move(html));
}

void CKIVOParseCtrl::SetLogFile(const std::string& fileName) { mLogFile.SetPath(fileName.c_str()); }

std::vector<std::string> CKIVOParseCtrl::GetImages() {
    if (!mEngine) return {};
    return mEngine->GetImages();
}

std::vector<std::string> CKIVOParseCtrl::GetHrefs() {
    if (!mEngine) return {};
    return mEngine->GetHrefs();
}

// Lists of different lengths are refused before the engine is asked, so the
// tree stays as it was. Without a tree there is nothing to rewrite.
std::int32_t CKIVOParseCtrl::FixImages(const std::vector<std::string>& src,
                                       const std::vector<std::string>& dest) {
    if (src.size() != dest.size()) return -1;
    if (!mEngine) return 0;
    return mEngine->FixImages(src, dest);
}

std::int32_t CKIVOParseCtrl::FixHrefs(const std::vector<std::string>& src,
                                      const std::vector<std::string>& dest) {
    if (src.size() != dest.size()) return -1;
    if (!mEngine) return 0;
    return mEngine->FixHrefs(src, dest);
}

std::int32_t CKIVOParseCtrl::FixImages(const CUrlMap& map) {
    if (!map.IsValid()) return -1;
    if (!mEngine) return 0;
    return mEngine->FixImages(map);
}

std::int32_t CKIVOParseCtrl::FixHrefs(const CUrlMap& map) {
    if (!map.IsValid()) return -1;
    if (!mEngine) return 0;
    return mEngine->FixHrefs(map);
}

std::int32_t CKIVOParseCtrl::Rewrite(const CUrlMap* images, const CUrlMap* links) {
    if ((images && !images->IsValid()) || (links && !links->IsValid())) return -1;
    if (!mEngine) return 0;
    if (images) mEngine->FixImages(*images);
    if (links) mEngine->FixHrefs(*links);
    return 0;
}

void CKIVOParseCtrl::SetTraceSink(std::function<void(std::string_view)> sink) { mLogFile.SetSink(std::move(sink)); }

// Only stored: the tree of the last parse keeps the base it was built with.
void CKIVOParseCtrl::SetDocumentBase(const std::string& base) { mDocumentBase = ReplaceAll(base, "\\", "/"); }

}  // namespace kivoparse
