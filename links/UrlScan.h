#pragma once
// Finds the URLs inside the values that hold more than a URL: a srcset's
// list of candidates, a META refresh's content, CSS text. Each URL is a
// span of the value, so that a rewrite replaces it alone and keeps every
// other byte.
#include <cstddef>
#include <string_view>
#include <vector>

namespace kivoparse {

// A URL's place in its value: [mStart, mStart + mLength).
struct SSpan {
    std::size_t mStart;
    std::size_t mLength;
};

// The URL of each candidate of a srcset: after white space and commas, the
// bytes up to the next white space; commas that end it belong to the list,
// and the descriptors after it ("2x", "100w") run to the next comma.
void ScanSrcset(std::string_view value, std::vector<SSpan>& spans);

// The URL of a refresh content: "5; url=page.html", "0;URL='page.html'",
// "3, page.html" or the content alone; quotes and surrounding white space
// are no part of it. No span for a content that is a delay only.
void ScanRefresh(std::string_view value, std::vector<SSpan>& spans);

// The URLs of CSS text: url(...) with or without quotes, and @import with
// a quoted string. Comments are passed over, and so are strings other than
// those, so a "url(" inside a string or comment is no URL.
void ScanCss(std::string_view text, std::vector<SSpan>& spans);

}  // namespace kivoparse
