#pragma once
#include <string>
#include <vector>

namespace kivoparse {

// An ordered list of 8-bit values (URLs) as collected and rewritten.
using CValueList = std::vector<std::string>;

}  // namespace kivoparse
