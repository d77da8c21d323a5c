#pragma once
#include "tree/CParseNode.h"

namespace kivoparse {

// A run of text ("TEXT NODE") or an insert block ("KIVO INSERT"), holding
// its bytes exactly as read.
class CTextNode : public CParseNode {
public:
    CTextNode() : CParseNode(KP_NODE_TEXT) {}

    bool IsInsert() const { return bInsert; }
    void MarkInsert() { bInsert = true; }
};

// A comment; its data begins with "<!--". The tokenizer reads comments as
// text, so only code that builds trees by hand makes these.
class CCommentNode : public CParseNode {
public:
    CCommentNode() : CParseNode(KP_NODE_COMMENT) {}
};

}  // namespace kivoparse
