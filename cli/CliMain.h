#pragma once
#include <string>
#include <vector>

namespace kivoparse {
namespace cli {

// Exit status of the tool.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // an input could not be read or an output not written
constexpr int kExitUsage = 2;   // the command line was wrong; nothing was done

// Runs the tool on the words after the program name and returns the exit status.
int CliMain(const std::vector<std::string>& args);

}  // namespace cli
}  // namespace kivoparse
