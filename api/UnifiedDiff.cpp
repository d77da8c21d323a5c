// A unified diff of a rewrite from its edits: the edits tell which lines
// changed, so no general diff (quadratic at worst) is needed.
#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "kivoparse/kivoparse.h"

namespace kivoparse {

namespace {

constexpr std::size_t kContext = 3;

// The lines of a text: where each starts; a text ending in "\n" has no
// empty line after it.
std::vector<std::size_t> LineStarts(std::string_view text) {
    std::vector<std::size_t> starts;
    if (text.empty()) return starts;
    starts.push_back(0);
    for (std::size_t at = text.find('\n'); at != std::string_view::npos && at + 1 < text.size();
         at = text.find('\n', at + 1))
        starts.push_back(at + 1);
    return starts;
}

// A run of old lines [mFirst, mLast] that edits touch, and the new bytes
// that stand for them: [mNewBegin, mNewEnd) of the new text.
struct SChange {
    std::size_t mFirst;
    std::size_t mLast;
    std::size_t mNewBegin;
    std::size_t mNewEnd;
};

// "l,n" as diff writes a range: "l" alone for one line, and for none the
// line before it.
std::string Range(std::size_t first, std::size_t count) {
    if (count == 1) return std::to_string(first + 1);
    return std::to_string(count == 0 ? first : first + 1) + "," + std::to_string(count);
}

class CDiffWriter {
public:
    CDiffWriter(std::string& out) : mOut(out) {}

    // The lines of text in [begin, end) (whole lines), each after mark.
    void Lines(std::string_view text, std::size_t begin, std::size_t end, char mark) {
        while (begin < end) {
            std::size_t stop = text.find('\n', begin);
            const bool lineEnd = stop != std::string_view::npos && stop < end;
            if (!lineEnd) stop = end;
            mOut += mark;
            mOut.append(text.substr(begin, stop - begin));
            mOut += '\n';
            if (!lineEnd) mOut += "\\ No newline at end of file\n";
            begin = lineEnd ? stop + 1 : end;
        }
    }

private:
    std::string& mOut;
};

std::size_t CountLines(std::string_view text, std::size_t begin, std::size_t end) {
    if (begin >= end) return 0;
    std::size_t count = static_cast<std::size_t>(std::count(text.begin() + begin, text.begin() + end, '\n'));
    if (text[end - 1] != '\n') ++count;
    return count;
}

}  // namespace

std::string UnifiedDiff(std::string_view path, std::string_view before, const KeptRewrite& after) {
    if (after.edits.empty()) return "";
    // Edits that do not fit before would send the diff outside the texts.
    std::size_t fitted = 0, size = before.size();
    for (const UrlEdit& edit : after.edits) {
        if (edit.offset < fitted || edit.offset > before.size() || edit.length > before.size() - edit.offset)
            throw std::invalid_argument("UnifiedDiff: the edits are not in order inside the text before");
        fitted = edit.offset + edit.length;
        size = size - edit.length + edit.replacement.size();
    }
    if (size != after.html.size()) throw std::invalid_argument("UnifiedDiff: the text after was not made from before");
    const std::string_view now = after.html;
    const std::vector<std::size_t> starts = LineStarts(before);
    const std::size_t lines = starts.size();
    auto lineEnd = [&](std::size_t line) { return line + 1 < lines ? starts[line + 1] : before.size(); };

    // The runs of touched lines, edits in input order; runs that touch or
    // meet are one run.
    std::vector<SChange> changes;
    std::size_t line = 0;
    long long shift = 0;  // new minus old bytes of the edits so far
    for (const UrlEdit& edit : after.edits) {
        const std::size_t last = edit.length > 0 ? edit.offset + edit.length - 1 : edit.offset;
        while (line + 1 < lines && starts[line + 1] <= edit.offset) ++line;
        std::size_t lastLine = line;
        while (lastLine + 1 < lines && starts[lastLine + 1] <= last) ++lastLine;
        const long long shiftBefore = shift;
        shift += static_cast<long long>(edit.replacement.size()) - static_cast<long long>(edit.length);
        if (lines == 0) break;  // no text to change
        if (!changes.empty() && line <= changes.back().mLast + 1) {
            changes.back().mLast = std::max(changes.back().mLast, lastLine);
        } else {
            changes.push_back(SChange{line, lastLine, static_cast<std::size_t>(static_cast<long long>(starts[line]) + shiftBefore), 0});
        }
        changes.back().mNewEnd = static_cast<std::size_t>(static_cast<long long>(lineEnd(changes.back().mLast)) + shift);
        line = lastLine;
    }
    if (changes.empty()) return "";

    std::string out = "--- a/";
    out.append(path);
    out += "\n+++ b/";
    out.append(path);
    out += '\n';
    CDiffWriter writer(out);
    long long lineShift = 0;  // new minus old lines before the hunk
    for (std::size_t first = 0; first < changes.size();) {
        // One hunk: the changes whose context meets.
        std::size_t end = first + 1;
        while (end < changes.size() && changes[end].mFirst - changes[end - 1].mLast - 1 <= 2 * kContext) ++end;
        const std::size_t from = changes[first].mFirst >= kContext ? changes[first].mFirst - kContext : 0;
        const std::size_t to = std::min(lines - 1, changes[end - 1].mLast + kContext);
        std::size_t oldCount = to - from + 1, newCount = oldCount;
        for (std::size_t i = first; i < end; ++i) {
            newCount -= changes[i].mLast - changes[i].mFirst + 1;
            newCount += CountLines(now, changes[i].mNewBegin, changes[i].mNewEnd);
        }
        const std::size_t newFrom = static_cast<std::size_t>(static_cast<long long>(from) + lineShift);
        out += "@@ -" + Range(from, oldCount) + " +" + Range(newFrom, newCount) + " @@\n";
        std::size_t at = from;
        for (std::size_t i = first; i < end; ++i) {
            const SChange& change = changes[i];
            writer.Lines(before, starts[at], starts[change.mFirst], ' ');
            writer.Lines(before, starts[change.mFirst], lineEnd(change.mLast), '-');
            writer.Lines(now, change.mNewBegin, change.mNewEnd, '+');
            at = change.mLast + 1;
        }
        writer.Lines(before, at < lines ? starts[at] : before.size(), lineEnd(to), ' ');
        lineShift += static_cast<long long>(newCount) - static_cast<long long>(oldCount);
        first = end;
    }
    return out;
}

}  // namespace kivoparse
