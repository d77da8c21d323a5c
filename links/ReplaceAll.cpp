#include "links/ReplaceAll.h"

#include <string_view>

namespace kivoparse {

CTextDeleter::CTextDeleter(std::string search) : mSearch(std::move(search)), mBorder(mSearch.size() + 1, 0) {
    for (std::size_t i = 1, k = 0; i < mSearch.size(); ++i) {
        while (k > 0 && mSearch[i] != mSearch[k]) k = mBorder[k];
        if (mSearch[i] == mSearch[k]) ++k;
        mBorder[i + 1] = k;
    }
}

// Bytes are kept on a stack, with the matching automaton's state after each
// one; whenever the stack ends in the search text it is cut off and matching
// resumes from the state kept below it. The occurrence cut that way is
// always the first one of the current text (an earlier one would have ended
// earlier and been cut already), so the result is that of restarting from
// the beginning after each deletion. A text without any occurrence is found
// so by a plain scan first and returned as it is.
std::string CTextDeleter::DeleteFrom(const std::string& text, std::uint64_t& steps) const {
    const std::size_t m = mSearch.size();
    if (m == 0) return text;
    const auto advance = [&](std::size_t k, char c) {
        if (k == m) k = mBorder[m];
        while (k > 0 && c != mSearch[k]) {
            k = mBorder[k];
            ++steps;
        }
        return c == mSearch[k] ? k + 1 : k;
    };

    std::size_t first = 0;  // the end of the first occurrence
    for (std::size_t i = 0, k = 0; i < text.size() && first == 0; ++i) {
        ++steps;
        k = advance(k, text[i]);
        if (k == m) first = i + 1;
    }
    if (first == 0) return text;

    std::string kept(text, 0, first - m);
    std::vector<std::size_t> state(kept.size() + 1, 0);  // state[i]: after i kept bytes
    for (std::size_t i = 0, k = 0; i < kept.size(); ++i) state[i + 1] = k = advance(k, kept[i]);
    steps += kept.size();
    for (std::size_t i = first; i < text.size(); ++i) {
        ++steps;
        const std::size_t k = advance(state.back(), text[i]);
        kept.push_back(text[i]);
        state.push_back(k);
        if (k == m) {
            kept.resize(kept.size() - m);
            state.resize(state.size() - m);
        }
    }
    return kept;
}

std::string ReplaceAll(std::string text, const std::string& search, const std::string& replacement) {
    if (search.empty()) return text;
    if (replacement.empty()) {
        std::uint64_t steps = 0;
        return CTextDeleter(search).DeleteFrom(text, steps);
    }
    if (search.size() == 1 || replacement.find(search) != std::string::npos) {
        // A single byte cannot be formed again by joining its neighbours. (A
        // replacement that holds search would never end by the rule below:
        // it gets this one left-to-right pass instead.)
        std::string out;
        out.reserve(text.size());
        std::size_t from = 0;
        for (std::size_t at = text.find(search); at != std::string::npos; at = text.find(search, from)) {
            out.append(text, from, at - from).append(replacement);
            from = at + search.size();
        }
        return out.append(text, from, std::string::npos);
    }
    // The general rule, as it reads: restart from the beginning each time.
    for (std::size_t at = text.find(search); at != std::string::npos; at = text.find(search))
        text.replace(at, search.size(), replacement);
    return text;
}

}  // namespace kivoparse
