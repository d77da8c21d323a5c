#include "control/CKIVOParseCtrl.h"

#include <utility>

#include "engine/CParsingEngine.h"
#include "links/CUrlMap.h"
#include "links/ReplaceAll.h"
#include "links/UrlKinds.h"
#include "output/TreeWriter.h"

namespace kivoparse {

CKIVOParseCtrl::CKIVOParseCtrl() { mLogLink.mLog = &mLogFile; }

CKIVOParseCtrl::~CKIVOParseCtrl() = default;

std::string CKIVOParseCtrl::GetHTML() { return mDocument ? WriteHtml(*mDocument) : std::string(); }

// Pieces of about 64 KiB, handed on as the writer walks the tree: the
// whole text is never built.
void CKIVOParseCtrl::WriteHTML(const std::function<void(std::string_view)>& sink) {
    if (!mDocument) return;
    CChunkSink chunks(sink, std::size_t{64} << 10);
    WriteHtml(*mDocument, chunks);
}

// The old document goes before the new one is made, so two trees never live
// at once. A parse that throws (out of memory) leaves no document, as before
// the first parse, rather than half of one.
std::int32_t CKIVOParseCtrl::ParseHTML(std::string html) {
    mDocument.reset();
    auto engine = std::make_unique<CParsingEngine>();
    engine->SetLogLink(&mLogLink);
    engine->SetTagHook(mDocumentBase.IsEmpty() ? nullptr : &mDocumentBase);
    engine->SetRawText(bRawText);
    int status = 0;
    mDocument = engine->Parse(std::move(html), &status);
    return status;
}

void CKIVOParseCtrl::SetLogFile(const std::string& fileName) { mLogFile.SetPath(fileName.c_str()); }

std::vector<std::string> CKIVOParseCtrl::Collect(UrlKind kind) {
    return mDocument ? CollectUrls(*mDocument, kind) : std::vector<std::string>();
}

// Lists of different lengths are refused before anything else, so the tree
// stays as it was. Without a document there is nothing to rewrite.
std::int32_t CKIVOParseCtrl::Fix(UrlKind kind, const std::vector<std::string>& src,
                                 const std::vector<std::string>& dest) {
    if (src.size() != dest.size()) return -1;
    if (src.empty() || !mDocument) return 0;
    const CUrlMap map(&src, &dest);
    RewriteUrls(*mDocument, kind, DecideBy(map));
    return 0;
}

void CKIVOParseCtrl::SetTraceSink(std::function<void(std::string_view)> sink) { mLogFile.SetSink(std::move(sink)); }

// Only stored: the document of the last parse keeps the base it was built
// with.
void CKIVOParseCtrl::SetDocumentBase(const std::string& base) {
    mDocumentBase = CDocumentBase(ReplaceAll(base, "\\", "/"));
}

}  // namespace kivoparse
