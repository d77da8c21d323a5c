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

void CPrefixRules::Add(std::string prefix, std::string replacement) {
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
    mRules.emplace_back(std::move(prefix), std::move(replacement));
    if (mRuleOf[node] == kNone) mRuleOf[node] = static_cast<std::uint32_t>(mRules.size());  // the first rule of a prefix stays
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
    const auto& rule = mRules[found - 1];
    out.assign(rule.second);
    out.append(value.substr(rule.first.size()));
    return true;
}

}  // namespace kivoparse
