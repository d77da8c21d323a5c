#include "links/CPrefixRules.h"

#include <utility>

#include "links/CompareNoCase.h"

namespace kivoparse {

namespace {

constexpr std::uint32_t kNone = 0;

std::uint64_t EdgeKey(std::uint32_t node, unsigned char byte) { return (std::uint64_t{node} << 8) | byte; }

}  // namespace

CPrefixRules::CPrefixRules() : mRuleOf(1, kNone) {}

std::uint32_t CPrefixRules::Child(std::uint32_t node, unsigned char byte) const {
    const auto edge = mEdges.find(EdgeKey(node, byte));
    return edge == mEdges.end() ? kNone : edge->second;
}

void CPrefixRules::Add(std::string_view prefix, std::string replacement) {
    std::uint32_t node = 0;
    for (const char c : prefix) {
        const unsigned char byte = FoldByte(c);
        std::uint32_t next = Child(node, byte);
        if (next == kNone) {
            next = static_cast<std::uint32_t>(mRuleOf.size());
            mRuleOf.push_back(kNone);
            mEdges.emplace(EdgeKey(node, byte), next);
        }
        node = next;
    }
    if (mRuleOf[node] != kNone) return;  // the first rule of a prefix stays
    mRules.push_back(SRule{prefix.size(), std::move(replacement)});
    mRuleOf[node] = static_cast<std::uint32_t>(mRules.size());
}

bool CPrefixRules::Apply(std::string_view value, std::string& out) const {
    if (mRules.empty()) return false;
    std::uint32_t found = mRuleOf[0];
    std::uint32_t node = 0;
    for (const char c : value) {
        node = Child(node, FoldByte(c));
        if (node == kNone) break;
        if (mRuleOf[node] != kNone) found = mRuleOf[node];
    }
    if (found == kNone) return false;
    const SRule& rule = mRules[found - 1];
    out.assign(rule.mReplacement);
    out.append(value.substr(rule.mPrefixLength));
    return true;
}

}  // namespace kivoparse
