#include "tree/ReplaceAll.h"

#include <vector>

namespace kivoparse {

namespace {

// Deletes every occurrence of search, each time the first one in the text,
// in one pass: bytes are kept on a stack, and whenever the stack ends in
// search it is cut off. The occurrence found that way is always the first
// one of the current text (an earlier one would have ended earlier and been
// cut already), so the result is the same as restarting from the beginning.
// A matching automaton state is kept per kept byte, so a cut resumes at once.
std::string DeleteAll(const std::string& text, const std::string& search) {
    const std::size_t m = search.size();
    // Failure function of search (longest proper border of each prefix).
    std::vector<std::size_t> border(m + 1, 0);
    for (std::size_t i = 1, k = 0; i < m; ++i) {
        while (k > 0 && search[i] != search[k]) k = border[k];
        if (search[i] == search[k]) ++k;
        border[i + 1] = k;
    }
    std::string kept;
    kept.reserve(text.size());
    std::vector<std::size_t> state{0};  // state[i]: matched length after i kept bytes
    state.reserve(text.size() + 1);
    for (char c : text) {
        std::size_t k = state.back();
        if (k == m) k = border[m];
        while (k > 0 && c != search[k]) k = border[k];
        if (c == search[k]) ++k;
        kept.push_back(c);
        state.push_back(k);
        if (k == m) {
            kept.resize(kept.size() - m);
            state.resize(state.size() - m);
        }
    }
    return kept;
}

}  // namespace

std::string ReplaceAll(std::string text, const std::string& search, const std::string& replacement) {
    if (search.empty() || text.find(search) == std::string::npos) return text;
    if (replacement.empty()) return DeleteAll(text, search);
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
