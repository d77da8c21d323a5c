// libFuzzer entry: any bytes are a document. Parse, write, collect, rewrite
// every collected URL and write again. Besides not crashing, collecting after
// the rewrite must give the new lists; a prefix keeps distinct values
// distinct even where values are compared only up to a NUL.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "control/CKIVOParseCtrl.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kivoparse::CKIVOParseCtrl engine;
    engine.SetDocumentBase("/base/");
    engine.ParseHTML(std::string(reinterpret_cast<const char*>(data), size));
    engine.GetHTML();
    const std::vector<std::string> images = engine.GetImages(), hrefs = engine.GetHrefs();
    std::vector<std::string> newImages = images, newHrefs = hrefs;
    for (std::string& value : newImages) value.insert(0, "1#");
    for (std::string& value : newHrefs) value.insert(0, "2#");
    engine.FixImages(images, newImages);
    engine.FixHrefs(hrefs, newHrefs);
    if (engine.GetImages() != newImages || engine.GetHrefs() != newHrefs) __builtin_trap();
    engine.GetHTML();
    return 0;
}
