#include "cli/UrlCommands.h"

#include <utility>

#include "cli/SystemIO.h"
#include "cli/ValueFormat.h"

namespace kivoparse {
namespace cli {

namespace {

// The fields that every JSON line of urls and check starts with.
std::string JsonPlace(const std::string& file, const UrlOccurrence& o) {
    std::string out = "{\"file\": ";
    AppendJsonString(out, file);
    out += ", \"line\": " + std::to_string(o.line) + ", \"column\": " + std::to_string(o.column) + ", \"tag\": ";
    AppendJsonString(out, o.tag);
    out += ", \"attribute\": ";
    AppendJsonString(out, o.attribute);
    out += std::string(", \"kind\": \"") + UrlKindName(o.kind) + "\", \"url\": ";
    AppendJsonString(out, o.url);
    return out;
}

std::string TextPlace(const std::string& file, const UrlOccurrence& o) {
    return file + ":" + std::to_string(o.line) + ":" + std::to_string(o.column) + ": " + UrlKindName(o.kind) + " ";
}

}  // namespace

std::string OccurrenceLines(const SInput& input, const std::vector<UrlOccurrence>& found, bool json) {
    std::string out;
    const std::string file = DisplayName(input.mPath);
    for (const UrlOccurrence& o : found) {
        if (json) out += JsonPlace(input.mPath, o) + "}\n";
        else out += TextPlace(file, o) + o.tag + " " + (o.attribute.empty() ? "-" : o.attribute) + " " + o.url + "\n";
    }
    return out;
}

CCheckCommand::CCheckCommand(const SOptions& options, std::size_t inputs) : mOptions(options), mFound(inputs) {}

void CCheckCommand::Collect(std::size_t index, Parser& parser) {
    mFound[index] = mSite.Prepare(parser.GetUrlOccurrences(mOptions.mKinds));
}

std::string CCheckCommand::Check(std::size_t index, const SInput& input) {
    std::string root = mOptions.mRoot;
    if (root.empty() && input.mPath != "-") {
        // The directory operand: the path less the part found below it.
        root = input.mPath.size() > input.mOutPath.size() ? input.mPath.substr(0, input.mPath.size() - input.mOutPath.size())
                                                          : std::string();
        if (root.size() > 1 && root.back() == '/') root.pop_back();
    }
    const std::vector<SiteFinding> findings = mSite.Check(input.mPath, root, mFound[index]);
    mFound[index] = SiteUrls();
    std::string report;
    const bool json = mOptions.mFormat == EListFormat::Json;
    const std::string file = DisplayName(input.mPath);
    for (const SiteFinding& f : findings) {
        const bool missing = f.problem == SiteProblem::Missing;
        std::string line;
        if (json) {
            line = JsonPlace(input.mPath, f.occurrence) + ", \"problem\": \"" + (missing ? "missing" : "case") + "\", \"path\": ";
            AppendJsonString(line, f.path);
            if (!missing) {
                line += ", \"actual\": ";
                AppendJsonString(line, f.actual);
            }
            line += "}\n";
        } else {
            line = TextPlace(file, f.occurrence) + "'" + f.occurrence.url + "': " +
                   (missing ? "no such file '" + f.path : "exists as '" + f.actual) + "'\n";
        }
        (missing ? report : mCaseReports) += line;
    }
    return report;
}

bool CCheckCommand::Finish() {
    const std::string& suggestPath = mOptions.mSuggestMap;
    bool failed = false;
    std::string error;
    if (!mCaseReports.empty() && WriteStdout(mCaseReports, error) == EWriteResult::Failed) {
        failed = true;
        WriteStderr("kivoparse: cannot write to standard output: " + error + "\n");
    }
    if (!suggestPath.empty() &&
        !WriteFileAtomically(suggestPath, [this](const ByteSink& sink) { sink(mSite.SuggestedMap()); }, error)) {
        failed = true;
        WriteStderr("kivoparse: --suggest-map " + suggestPath + ": " + error + "\n");
    } else if (const std::size_t leftOut = suggestPath.empty() ? 0 : mSite.LeftOutOfSuggestedMap()) {
        const bool one = leftOut == 1;
        WriteStderr("kivoparse: warning: --suggest-map " + suggestPath + ": " + std::to_string(leftOut) +
                    (one ? " repair" : " repairs") + " left out: a TAB or a line feed in a URL or a document's "
                    "path cannot be said in a map file; make " + (one ? "it" : "them") + " by hand\n");
    }
    const SiteCounts& counts = mSite.Counts();
    WriteStderr("kivoparse: " + std::to_string(counts.checked) + " local URLs checked: " +
                std::to_string(counts.missing) + " missing, " + std::to_string(counts.otherCase) +
                " in another letter case; " + std::to_string(counts.external) + " external and " +
                std::to_string(counts.templates) + " with insert blocks not checked\n");
    return failed || counts.missing || counts.otherCase;
}

}  // namespace cli
}  // namespace kivoparse
