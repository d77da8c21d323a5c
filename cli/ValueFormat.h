#pragma once
// How the images and hrefs commands write their lists.
#include <string>
#include <vector>

#include "cli/CCommandLine.h"

namespace kivoparse {
namespace cli {

// Appends bytes as a JSON string, quotes included, losing nothing: valid
// UTF-8 is copied, '"' and '\' and the control bytes are escaped, and every
// byte that is not part of valid UTF-8 becomes "\udcXX" (XX the byte), a
// lone surrogate that no valid UTF-8 text yields.
void AppendJsonString(std::string& out, const std::string& bytes);

// A name or word as messages show it, so that no name can forge a message or
// reach the terminal as control bytes. A name of printable ASCII or valid
// UTF-8 other than the C1 controls is shown as it is, between single quotes
// when quoted is set; any other name (with quoted set, one holding a single
// quote too) as a shell word in $'...' that stands for exactly its bytes:
// $'ok\nfake.html', $'it\'s.html', $'\377'.
std::string QuoteName(const std::string& name, bool quoted);

// The output for the values of one input. With several inputs (multi) each
// value carries the input's name: "name\tvalue\n", "name\0value\0", or one
// JSON object per line; alone, the values only: "value\n", "value\0", or one
// JSON array and a line feed.
std::string FormatValues(const std::vector<std::string>& values, EListFormat format, bool multi,
                         const std::string& name);

}  // namespace cli
}  // namespace kivoparse
