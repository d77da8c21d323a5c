// libFuzzer entry: the literal mode (byte by byte, every shortcut off) and
// the fast mode (runs of text at once; unmatched end tags, doomed insert
// blocks and doomed tags known in advance) must build the same tree: the
// HTML and the collected URLs of both parses must be equal, with the
// raw-text setting off and on.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/CParsingEngine.h"
#include "links/CDocumentBase.h"
#include "links/UrlKinds.h"
#include "output/TreeWriter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 4096) return 0;  // the literal mode may read a text once per "<"
    const std::string text(reinterpret_cast<const char*>(data), size);
    const kivoparse::CDocumentBase base("a");
    for (const bool rawText : {false, true}) {
        kivoparse::CParsingEngine fast;
        fast.SetTagHook(&base);
        fast.SetRawText(rawText);
        const auto fastDocument = fast.Parse(text);

        kivoparse::CParsingEngine literal;
        literal.SetLiteral(true);
        literal.SetTagHook(&base);
        literal.SetRawText(rawText);
        const auto literalDocument = literal.Parse(text);
        if (WriteHtml(*fastDocument) != WriteHtml(*literalDocument) ||
            CollectUrls(*fastDocument, kivoparse::UrlKind::Image) !=
                CollectUrls(*literalDocument, kivoparse::UrlKind::Image))
            __builtin_trap();
    }
    return 0;
}
