#pragma once
// The command line of kivoparse: the command, its options and its inputs.
#include <string>
#include <vector>

#include <kivoparse/kivoparse.h>

namespace kivoparse {
namespace cli {

enum class ECommand { Html, Images, Hrefs, FixImages, FixHrefs, Fix, Urls, Check, Move };

// How images, hrefs, urls and check write their lines.
enum class EListFormat { Lines, Nul, Json };

struct SOptions {
    ECommand mCommand = ECommand::Html;
    bool mHasBase = false;
    std::string mBase;
    std::string mLogPath;  // "": no trace
    EListFormat mFormat = EListFormat::Lines;
    std::string mImagesMap;  // "": none (--map of fix-images, --images-map of fix)
    std::string mHrefsMap;   // likewise for links
    std::string mRuleMap;    // fix --map: one rule map for every kind chosen ("": none)
    UrlKinds mKinds = UrlKinds::Default();  // urls, fix --map (check: every kind)
    bool mKindsGiven = false;               // --kinds or --all
    std::string mRoot;        // check, fix --map: "" is the directory operand or the file's own folder
    std::string mSuggestMap;  // check: "" writes no map
    std::string mSite;     // mv: the site's folder (-r SITE)
    std::string mSiteUrl;  // mv: where the site is served ("": not known)
    bool mAnchors = false;    // check: fragments are looked up too
    bool mRecursive = false;
    std::vector<std::string> mExtensions{"html", "htm"};  // lower case, without the dot
    // fix, fix-images, fix-hrefs: edit only the URLs' bytes of each input
    // (fix --map unless --normalize; the others with --keep-bytes).
    bool mKeepBytes = false;
    bool mNormalize = false;  // fix --normalize
    bool mDryRun = false;     // fix, mv --dry-run: a diff of what would change, nothing written
    bool mExtGiven = false;
    bool mStylesheets = false;  // urls, check, fix --map: a FILE ending in .css is a stylesheet
    bool mHasOut = false;
    std::string mOutDir;
    unsigned mJobs = 0;                  // 0: one per core
    // Whether the parse reads the content of SCRIPT, STYLE and the other
    // raw-text elements as text: --raw-text / --no-raw-text, else on for
    // urls, check and fix --map and off for the rest.
    bool mRawText = false;
    std::vector<std::string> mOperands;  // as given; empty means the standard input
};

// Reads the command line into options. Returns -1 when there is work to do;
// otherwise the help, the version or a usage error has been written and the
// exit status is returned.
int ParseCommandLine(int argc, char** argv, SOptions& options);

// A usage error found after the command line was read, for the same command.
int UsageError(const SOptions& options, const std::string& message);

}  // namespace cli
}  // namespace kivoparse
