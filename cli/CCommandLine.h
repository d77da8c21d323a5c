#pragma once
// The command line of kivoparse: the command, its options and its inputs.
#include <string>
#include <vector>

namespace kivoparse {
namespace cli {

enum class ECommand { Html, Images, Hrefs, FixImages, FixHrefs };

// How images and hrefs write their values.
enum class EListFormat { Lines, Nul, Json };

struct SOptions {
    ECommand mCommand = ECommand::Html;
    bool mHasBase = false;
    std::string mBase;
    std::string mLogPath;  // "": no trace
    EListFormat mFormat = EListFormat::Lines;
    std::string mMapPath;  // "": no map
    bool mRecursive = false;
    std::vector<std::string> mExtensions{"html", "htm"};  // lower case, without the dot
    bool mHasOut = false;
    std::string mOutDir;
    unsigned mJobs = 0;                  // 0: one per core
    std::vector<std::string> mOperands;  // as given; empty means the standard input
};

enum class EParseOutcome { Run, Help, Version, UsageError };

struct SParseResult {
    EParseOutcome mOutcome = EParseOutcome::UsageError;
    bool mHasCommand = false;  // mOptions.mCommand is known (for the help and usage texts)
    SOptions mOptions;
    std::string mMessage;  // for a usage error
};

SParseResult ParseCommandLine(std::vector<std::string> args);

// The full help of a command, or of the tool when hasCommand is false.
std::string HelpText(bool hasCommand, ECommand command);
// The short text that follows a usage error.
std::string UsageText(bool hasCommand, ECommand command);

}  // namespace cli
}  // namespace kivoparse
