#pragma once
// The prefix rules of a rule map: "every value that starts with P gets Q
// instead of P". Prefixes are matched with ASCII letter case folded, the
// longest one first; of two rules with the same prefix the first added
// wins. A look-up walks the value once, whatever the number of rules.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace kivoparse {

class CPrefixRules {
public:
    CPrefixRules();
    void Add(std::string prefix, std::string replacement);
    bool Empty() const { return mRules.empty(); }
    std::size_t Size() const { return mRules.size(); }
    // Every rule as added (prefix, replacement), those that never win too.
    const std::vector<std::pair<std::string, std::string>>& Rules() const { return mRules; }
    // The value with its longest matching prefix replaced; false (out
    // untouched) when no rule matches.
    bool Apply(std::string_view value, std::string& out) const;

private:
    // A trie over the folded bytes of the prefixes: node 0 is the empty
    // prefix; mRuleOf[node] is the rule that ends there, plus one (0: none).
    std::uint32_t Child(std::uint32_t node, unsigned char byte) const;
    std::vector<std::uint32_t> mRuleOf;
    std::unordered_map<std::uint64_t, std::uint32_t> mEdges;  // (node << 8 | byte) -> child
    std::vector<std::pair<std::string, std::string>> mRules;
};

}  // namespace kivoparse
