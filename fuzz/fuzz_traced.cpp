// libFuzzer entry: the engine reads literally while it traces, and takes
// shortcuts while it does not (runs of text at once; unmatched end tags,
// doomed insert blocks and doomed tags known in advance). Both must build
// the same tree: the HTML of a traced and an untraced parse must be equal.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/CParsingEngine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 4096) return 0;  // every byte read is a line written when tracing
    const std::string text(reinterpret_cast<const char*>(data), size);
    kivoparse::CParsingEngine plain;
    plain.ParseHTML(text);

    static kivoparse::CLogFile log;
    static kivoparse::CLogLink link;
    log.SetPath("/dev/null");
    link.mLog = &log;
    kivoparse::CParsingEngine traced;
    traced.SetLogLink(&link);
    traced.ParseHTML(text);
    if (plain.GetHTML() != traced.GetHTML()) __builtin_trap();
    return 0;
}
