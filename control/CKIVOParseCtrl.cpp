#include "control/CKIVOParseCtrl.h"

#include <utility>

#include "engine/CParsingEngine.h"
#include "links/CUrlMap.h"
#include "output/TreeWriter.h"
#include "links/ReplaceAll.h"

namespace kivoparse {

CKIVOParseCtrl::CKIVOParseCtrl() { mLogLink.mLog = &mLogFile; }

// The members go in reverse order: the engine and its tree first, while the
// log they may still reach is alive, then the log, the link and the base.
CKIVOParseCtrl::~CKIVOParseCtrl() = default;

std::string CKIVOParseCtrl::GetHTML() {
    if (!mEngine) return std::string();
    return mEngine->GetHTML();
}

// Pieces of about 64 KiB, handed on as the writer walks the tree: the
// whole text is never built.
void CKIVOParseCtrl::WriteHTML(const std::function<void(std::string_view)>& sink) {
    if (!mEngine) return;
    CChunkSink chunks(sink, std::size_t{64} << 10);
    mEngine->WriteHTML(chunks);
}

// The old tree goes before the new engine is made, so two trees never live
// at once. A parse that throws (out of memory) leaves no tree, as before the
// first parse, rather than half of one.
std::int32_t CKIVOParseCtrl::ParseHTML(std::string html) {
    mEngine.reset();
    try {
        mEngine = std::make_unique<CParsingEngine>();
        mEngine->SetLogLink(&mLogLink);
        mEngine->SetDocumentBase(mDocumentBase);
        mEngine->SetRawText(bRawText);
        return mEngine->ParseHTML(std::move(html));
    } catch (...) {
        mEngine.reset();
        throw;
    }
}

void CKIVOParseCtrl::SetLogFile(const std::string& fileName) { mLogFile.SetPath(fileName.c_str()); }

std::vector<std::string> CKIVOParseCtrl::Collect(EUrlKind kind) {
    if (!mEngine) return {};
    return mEngine->Collect(kind);
}

// Lists of different lengths are refused before the engine is asked, so the
// tree stays as it was (the map makes the one length check). Without a tree
// there is nothing to rewrite.
std::int32_t CKIVOParseCtrl::Fix(EUrlKind kind, const std::vector<std::string>& src,
                                 const std::vector<std::string>& dest) {
    if (src.size() != dest.size()) return -1;
    if (!mEngine) return 0;
    return mEngine->Fix(kind, src, dest);
}

std::int32_t CKIVOParseCtrl::Fix(EUrlKind kind, const CUrlMap& map) {
    if (!map.IsValid()) return -1;
    if (!mEngine) return 0;
    return mEngine->Fix(kind, map);
}

std::int32_t CKIVOParseCtrl::Rewrite(const CUrlMap* images, const CUrlMap* links) {
    if ((images && !images->IsValid()) || (links && !links->IsValid())) return -1;
    if (!mEngine) return 0;
    return mEngine->Rewrite(images, links);
}

void CKIVOParseCtrl::SetTraceSink(std::function<void(std::string_view)> sink) { mLogFile.SetSink(std::move(sink)); }

// Only stored: the tree of the last parse keeps the base it was built with.
void CKIVOParseCtrl::SetDocumentBase(const std::string& base) { mDocumentBase = ReplaceAll(base, "\\", "/"); }

}  // namespace kivoparse
