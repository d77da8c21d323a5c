#pragma once
#include "tree/CParseNode.h"

namespace kivoparse {

// One attribute: mName is the name (lower-cased by the engine), the data is
// the value as written, without its quotes. bHasValue: an "=" was written.
class CPropertyNode : public CParseNode {
public:
    CPropertyNode() : CParseNode(KP_NODE_PROPERTY) {}
};

}  // namespace kivoparse
