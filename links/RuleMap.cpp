#include "links/RuleMap.h"

namespace kivoparse {

namespace {

// value without its trailing "*" read in pairs; whether one was left over.
bool TakeStars(std::string_view value, std::string& out) {
    std::size_t stars = 0;
    while (stars < value.size() && value[value.size() - 1 - stars] == '*') ++stars;
    out.assign(value.substr(0, value.size() - stars));
    out.append(stars / 2, '*');
    return stars % 2 == 1;
}

}  // namespace

bool ParseRuleMap(std::string_view text, SRuleMap& map, std::size_t& errorLine, std::string& message) {
    SRuleMap read;
    std::size_t line = 0;
    for (std::size_t start = 0; start < text.size();) {
        ++line;
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const std::size_t tab = text.find('\t', start);
        if ((tab == std::string_view::npos || tab > end) && IsKindsLine(text.substr(start, end - start))) {
            // The kinds the map was made for: a note to its user, no pair.
            UrlKinds kinds;
            if (!UrlKinds::Parse(KindsOfLine(text.substr(start, end - start)), kinds, message)) {
                errorLine = line;
                message = "names the kinds wrongly: " + message;
                return false;
            }
            start = end + 1;
            continue;
        }
        if (tab == std::string_view::npos || tab > end) {
            errorLine = line;
            message = "has no TAB; each line must be old value, TAB, new value";
            return false;
        }
        std::string oldValue, newValue;
        const bool prefix = TakeStars(text.substr(start, tab - start), oldValue);
        const bool rest = TakeStars(text.substr(tab + 1, end - tab - 1), newValue);
        if (prefix && oldValue.empty()) {
            errorLine = line;
            message = "has an empty prefix; a rule must name the start it replaces";
            return false;
        }
        if (rest && !prefix) {
            errorLine = line;
            message = "ends its new value with '*' but its old value is no prefix rule; write '**' for a '*'";
            return false;
        }
        if (prefix) {
            read.mPrefixes.emplace_back(std::move(oldValue), std::move(newValue));
        } else {
            read.mSrc.push_back(std::move(oldValue));
            read.mDest.push_back(std::move(newValue));
        }
        start = end + 1;
    }
    map = std::move(read);
    return true;
}

}  // namespace kivoparse
