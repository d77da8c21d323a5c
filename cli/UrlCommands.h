#pragma once
// The work of the commands on URLs of every kind: "urls" lists each
// occurrence with its place, "check" reports what a site's URLs would not
// find on disk, and "fix --map" rewrites the chosen kinds with a rule map.
#include <cstddef>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include <kivoparse/kivoparse.h>

#include "cli/CCommandLine.h"
#include "cli/InputList.h"

namespace kivoparse {
namespace cli {

// urls: a line (or a JSON object) for each occurrence found in input.
std::string OccurrenceLines(const SInput& input, const std::vector<UrlOccurrence>& found, bool json);

// A rule map whose lines "@document PATH" (no TAB) start a section: its
// pairs apply to that document only (named as the inputs are named), before
// the pairs above the first section, which apply to every document.
struct SScopedMaps {
    UrlMap mAll;
    std::unordered_map<std::string, UrlMap> mByDocument;
};
// Throws MapError naming the line of the file.
SScopedMaps ReadScopedMaps(const std::string& text);
// Rewrites the URLs of kinds in the parsed document read from path.
void RewriteByRules(Parser& parser, UrlKinds kinds, const SScopedMaps& maps, const std::string& path);

// check: the URLs of each input are collected by the workers, then checked
// against the disk in input order on the thread that writes the results.
class CSiteCheck {
public:
    CSiteCheck(const SOptions& options, std::size_t inputs);
    ~CSiteCheck();
    // On a worker: the URLs of the parsed document, input number index.
    void Collect(std::size_t index, Parser& parser);
    // In input order: the report of the targets it misses.
    std::string Check(std::size_t index, const SInput& input);
    // At the end: the case-only reports, the suggested map and the counts.
    // Returns whether anything is broken or could not be written.
    bool Finish();

private:
    struct SState;
    std::unique_ptr<SState> mState;
};

}  // namespace cli
}  // namespace kivoparse
