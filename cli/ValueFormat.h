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

// The output for the values of one input. With several inputs (multi) each
// value carries the input's name: "name\tvalue\n", "name\0value\0", or one
// JSON object per line; alone, the values only: "value\n", "value\0", or one
// JSON array and a line feed.
std::string FormatValues(const std::vector<std::string>& values, EListFormat format, bool multi,
                         const std::string& name);

}  // namespace cli
}  // namespace kivoparse
