#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "links/CDocumentBase.h"
#include "kivoparse/kivoparse.h"
#include "log/CLogFile.h"
#include "tree/CDocument.h"

namespace kivoparse {

// The control's eight operations on 8-bit strings, without any platform.
// It owns the settings (the document base, the raw-text switch), the log
// (and the link an engine reaches it through) and the document of the last
// parse. Each parse is made by an engine of its own, with the settings;
// writing and the URL operations act on the document. The Windows control
// shell wraps exactly this class and converts at its edge.
//
// Strings pass whole, NUL bytes included, in both directions; only the
// comparisons of URL values (and the log's file name) stop at a NUL.
// Before the first ParseHTML there is no tree: GetHTML gives "", GetImages
// and GetHrefs an empty list, and FixImages and FixHrefs change nothing and
// give -1 for lists of different lengths, else 0, as after a parse.
class CKIVOParseCtrl {
public:
    CKIVOParseCtrl();
    CKIVOParseCtrl(const CKIVOParseCtrl&) = delete;
    CKIVOParseCtrl& operator=(const CKIVOParseCtrl&) = delete;
    ~CKIVOParseCtrl();

    // The tree of the last parse as HTML; "" before the first parse.
    std::string GetHTML();
    // The same bytes handed to sink in pieces of 64 KiB as they are written,
    // never whole; nothing before the first parse.
    void WriteHTML(const std::function<void(std::string_view)>& sink);
    // Destroys the old document, then parses every byte of html into a new
    // one with the log, the raw-text switch and the current document base.
    // Returns 0 (-1, with an empty document, for a text of 2 GiB or more).
    std::int32_t ParseHTML(std::string html);
    // Turns the trace on (one line appended per event) or redirects it.
    void SetLogFile(const std::string& fileName);
    // Trace lines to sink instead of a file; an empty sink turns them off.
    void SetTraceSink(std::function<void(std::string_view)> sink);
    // Image and link URLs; empty before the first parse.
    std::vector<std::string> Collect(UrlKind kind);
    std::vector<std::string> GetImages() { return Collect(UrlKind::Image); }
    std::vector<std::string> GetHrefs() { return Collect(UrlKind::Link); }
    // -1 when src and dest differ in length (tree untouched), else 0.
    std::int32_t Fix(UrlKind kind, const std::vector<std::string>& src, const std::vector<std::string>& dest);
    std::int32_t FixImages(const std::vector<std::string>& src, const std::vector<std::string>& dest) {
        return Fix(UrlKind::Image, src, dest);
    }
    std::int32_t FixHrefs(const std::vector<std::string>& src, const std::vector<std::string>& dest) {
        return Fix(UrlKind::Link, src, dest);
    }
    // Stored with backslashes turned into slashes; taken by the next parse.
    void SetDocumentBase(const std::string& base);
    // Raw-text elements read as text (browser-like) by the next parses.
    void SetRawText(bool rawText) { bRawText = rawText; }
    // The document of the last parse; null before the first (and after a
    // parse that ran out of memory).
    CDocument* Document() const { return mDocument.get(); }

private:
    CDocumentBase mDocumentBase;
    bool bRawText = false;
    CLogLink mLogLink;
    CLogFile mLogFile;
    std::unique_ptr<CDocument> mDocument;
};

}  // namespace kivoparse
