#pragma once
#include <vector>

#include "tree/CNodeList.h"
#include "tree/CParseNode.h"

namespace kivoparse {

// Visits top and its subtree in document order with an explicit stack:
// enter(node) before the node's children, leave(node) after them. enter
// returns false to skip the children (leave still runs). Each child list is
// walked with its own cursor, so no other walk of the same tree may overlap.
template <class Enter, class Leave>
void WalkTree(CParseNode* top, Enter enter, Leave leave) {
    if (!enter(top) || !top->Children()) {
        leave(top);
        return;
    }
    std::vector<CParseNode*> open;  // nodes whose children are being walked
    top->Children()->Reset();
    open.push_back(top);
    while (!open.empty()) {
        CParseNode* child = open.back()->Children()->Next();
        if (!child) {
            leave(open.back());
            open.pop_back();
            continue;
        }
        if (enter(child) && child->Children()) {
            child->Children()->Reset();
            open.push_back(child);
        } else {
            leave(child);
        }
    }
}

}  // namespace kivoparse
