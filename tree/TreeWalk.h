#pragma once
#include <vector>

#include "tree/CNodeList.h"
#include "tree/CParseNode.h"

namespace kivoparse {

inline bool HasChildren(const CParseNode& node) {
    const CNodeList* children = node.Children();
    return children && !children->IsEmpty();
}

// Visits top and its subtree in document order with an explicit stack:
// enter(node) before the node's children, leave(node) after them. enter
// returns false to skip the children (leave still runs). The stack holds,
// for each open level, the node whose children are walked and the child to
// visit next, so walks need nothing of the lists and may overlap. Node is
// CParseNode or const CParseNode.
template <class Node, class Enter, class Leave>
void WalkTree(Node* top, Enter enter, Leave leave) {
    if (!enter(top) || !HasChildren(*top)) {
        leave(top);
        return;
    }
    struct SLevel {
        Node* mNode;
        Node* mNext;
    };
    std::vector<SLevel> open;
    open.push_back(SLevel{top, top->Children()->GetFirst()});
    while (!open.empty()) {
        SLevel& level = open.back();
        Node* child = level.mNext;
        if (!child) {
            leave(level.mNode);
            open.pop_back();
            continue;
        }
        level.mNext = child->NextSibling();
        if (enter(child) && HasChildren(*child)) {
            open.push_back(SLevel{child, child->Children()->GetFirst()});
        } else {
            leave(child);
        }
    }
}

}  // namespace kivoparse
