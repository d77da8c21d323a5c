#pragma once
// The lines of the commands on URLs of every kind: "urls" lists each
// occurrence with its place, "check" reports what a site's URLs would not
// find on disk (kivoparse/site.h does the checking).
#include <cstddef>
#include <memory>
#include <string_view>
#include <string>
#include <vector>

#include <kivoparse/kivoparse.h>
#include <kivoparse/site.h>

#include "cli/CCommandLine.h"
#include "cli/InputList.h"

namespace kivoparse {
namespace cli {

// urls: a line (or a JSON object) for each occurrence found in input.
std::string OccurrenceLines(const SInput& input, const std::vector<UrlOccurrence>& found, bool json);

// Whether input is read as a stylesheet: a name ending in ".css" (any case)
// for the commands that read stylesheets.
bool IsStylesheet(const SOptions& options, const SInput& input);
// The occurrences of the kinds in a stylesheet's text.
std::vector<UrlOccurrence> StylesheetUrls(const SOptions& options, std::string_view css);

// The root of the site input belongs to: --root, else the directory operand
// it was found under, else a file operand's own folder.
std::string SiteRootOf(const SOptions& options, const SInput& input);

// What check found in the end.
enum class ECheckEnd { Clean, Problems, NotWritten };

// check: the URLs of each input are collected by the workers, then checked
// against the disk in input order on the thread that writes the results.
class CCheckCommand {
public:
    CCheckCommand(const SOptions& options, std::size_t inputs);
    // On a worker: the URLs of the parsed document, input number index.
    void Collect(std::size_t index, Parser& parser);
    // The same for a stylesheet's text.
    void CollectStylesheet(std::size_t index, std::string_view css);
    // In input order: the report of the targets it misses.
    std::string Check(std::size_t index, const SInput& input);
    // At the end: the case-only and anchor reports, the suggested map and
    // the counts.
    ECheckEnd Finish();

private:
    const SOptions& mOptions;
    SiteCheck mSite = SiteCheck::OnDisk();
    std::vector<SiteUrls> mFound;  // each input's URLs, until their turn
    std::string mCaseReports;      // written after the missing ones
};

}  // namespace cli
}  // namespace kivoparse
