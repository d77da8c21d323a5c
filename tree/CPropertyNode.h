#pragma once
#include "tree/CNodeContext.h"
#include "tree/CParseNode.h"

namespace kivoparse {

// One attribute: mName is the name (lower-cased by the engine), the data is
// the value as written, without its quotes. bHasValue: an "=" was written.
class CPropertyNode : public CParseNode {
public:
    CPropertyNode() : CParseNode(KP_NODE_PROPERTY) {}

    // name="value", or the bare name when no "=" was written.
    void WriteHTML(std::string& out) override;
    // Always name="value", whatever bHasValue holds.
    void Dump(std::FILE* out) override;

    // Backslashes become slashes, then every occurrence of the base of the
    // engine that parses goes (which counts the work).
    void StripDocumentBase(CNodeContext& engine) {
        const std::string value = engine.StripDocumentBase(std::string(ViewOf(mDataBytes, mDataSize)));
        SetData(value.data(), value.size());
    }
};

}  // namespace kivoparse
