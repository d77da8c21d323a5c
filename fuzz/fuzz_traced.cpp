// libFuzzer entry: the literal mode (byte by byte, every shortcut off) and
// the fast mode (runs of text at once; unmatched end tags, doomed insert
// blocks and doomed tags known in advance) must build the same tree: the
// HTML and the collected URLs of both parses must be equal, with the
// raw-text setting off and on.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/CParsingEngine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 4096) return 0;  // the literal mode may read a text once per "<"
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const bool rawText : {false, true}) {
        kivoparse::CParsingEngine fast;
        fast.SetDocumentBase("a");
        fast.SetRawText(rawText);
        fast.ParseHTML(text);

        kivoparse::CParsingEngine literal;
        literal.SetLiteral(true);
        literal.SetDocumentBase("a");
        literal.SetRawText(rawText);
        literal.ParseHTML(text);
        if (fast.GetHTML() != literal.GetHTML() || fast.GetImages() != literal.GetImages()) __builtin_trap();
    }
    return 0;
}
