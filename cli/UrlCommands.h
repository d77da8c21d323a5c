#pragma once
// The commands on URLs of every kind: "urls" lists each occurrence with its
// place, "check" reports what a site's URLs would not find on disk, and
// "fix --map" rewrites the chosen kinds with a rule map.
#include <string>
#include <vector>

namespace kivoparse {
namespace cli {

// Whether the command line is one of these commands ("fix" with --map).
// Allocates nothing, so the other commands start as they would without it.
bool IsUrlCommand(int argc, char** argv);
// Runs it; returns the exit status.
int RunUrlCommand(const std::vector<std::string>& args);

}  // namespace cli
}  // namespace kivoparse
