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

bool IsStylesheet(const SOptions& options, const SInput& input) {
    return options.mStylesheets && HasExtension(input.mPath, {"css"});
}

std::vector<UrlOccurrence> StylesheetUrls(const SOptions& options, std::string_view css) {
    if (!options.mKinds.Has(UrlKind::Css)) return {};
    return GetCssUrlOccurrences(css);
}

std::string SiteRootOf(const SOptions& options, const SInput& input) {
    if (!options.mRoot.empty() || input.mPath == "-") return options.mRoot;
    // The directory operand: the path less the part found below it.
    std::string root = input.mPath.size() > input.mOutPath.size()
                           ? input.mPath.substr(0, input.mPath.size() - input.mOutPath.size())
                           : std::string();
    if (root.size() > 1 && root.back() == '/') root.pop_back();
    return root;
}

std::string OccurrenceLines(const SInput& input, const std::vector<UrlOccurrence>& found, bool json) {
    std::string out;
    const std::string file = DisplayName(input.mPath);
    for (const UrlOccurrence& o : found) {
        if (json) out += JsonPlace(input.mPath, o) + "}\n";
        else out += TextPlace(file, o) + (o.tag.empty() ? "-" : o.tag) + " " + (o.attribute.empty() ? "-" : o.attribute) + " " + o.url + "\n";
    }
    return out;
}

CCheckCommand::CCheckCommand(const SOptions& options, std::size_t inputs) : mOptions(options), mFound(inputs) {
    mSite.CheckFragments(options.mAnchors);
}

void CCheckCommand::Collect(std::size_t index, Parser& parser) {
    mFound[index] = mSite.Prepare(parser, mOptions.mKinds);
}

void CCheckCommand::CollectStylesheet(std::size_t index, std::string_view css) {
    mFound[index] = mSite.Prepare(StylesheetUrls(mOptions, css), std::nullopt, {}, mOptions.mKinds);
}

namespace {

// A report line of one finding, in the document at path.
std::string FindingLine(const std::string& path, const SiteFinding& f, bool json) {
    static const char* const kProblems[] = {"missing", "case", "above-root", "anchor"};
    std::string line;
    if (json) {
        line = JsonPlace(path, f.occurrence) + ", \"problem\": \"" + kProblems[static_cast<int>(f.problem)] +
               "\", \"path\": ";
        AppendJsonString(line, f.path);
        if (f.problem == SiteProblem::OtherCase || f.problem == SiteProblem::NoAnchor) {
            line += f.problem == SiteProblem::OtherCase ? ", \"actual\": " : ", \"anchor\": ";
            AppendJsonString(line, f.actual);
        }
        return line + "}\n";
    }
    line = TextPlace(DisplayName(path), f.occurrence) + "'" + f.occurrence.url + "': ";
    switch (f.problem) {
        case SiteProblem::Missing: return line + "no such file '" + f.path + "'\n";
        case SiteProblem::OtherCase: return line + "exists as '" + f.actual + "'\n";
        case SiteProblem::AboveRoot: return line + "climbs above the site root\n";
        case SiteProblem::NoAnchor: return line + "no id or name '" + f.actual + "' in '" + f.path + "'\n";
    }
    return line + "\n";
}

}  // namespace

std::string CCheckCommand::Check(std::size_t index, const SInput& input) {
    // The root of a lone page is only where "/..." starts: ".." may leave it.
    const bool stopAtRoot = !mOptions.mRoot.empty() || input.mUnderDirectory;
    const std::vector<SiteFinding> findings =
        mSite.Check(input.mPath, SiteRootOf(mOptions, input), mFound[index], stopAtRoot);
    mFound[index] = SiteUrls();
    std::string report;
    const bool json = mOptions.mFormat == EListFormat::Json;
    for (const SiteFinding& f : findings) {
        (f.problem == SiteProblem::OtherCase ? mCaseReports : report) += FindingLine(input.mPath, f, json);
    }
    return report;
}

ECheckEnd CCheckCommand::Finish() {
    const std::string& suggestPath = mOptions.mSuggestMap;
    bool failed = false;
    std::string error;
    const bool json = mOptions.mFormat == EListFormat::Json;
    for (const SiteFinding& f : mSite.CheckAnchors()) mCaseReports += FindingLine(f.document, f, json);
    if (!mCaseReports.empty() && WriteStdout(mCaseReports, error) == EWriteResult::Failed) {
        failed = true;
        WriteStderr("kivoparse: cannot write to standard output: " + error + "\n");
    }
    // The map goes where it is asked to, into a folder that must be there.
    auto writeMap = [this](const ByteSink& sink) { sink(mSite.SuggestedMap()); };
    if (!suggestPath.empty() && !WriteFileAtomically(suggestPath, writeMap, error, false)) {
        failed = true;
        WriteStderr("kivoparse: --suggest-map " + suggestPath + ": " + error + "\n");
    } else if (const std::size_t leftOut = suggestPath.empty() ? 0 : mSite.LeftOutOfSuggestedMap()) {
        const bool one = leftOut == 1;
        WriteStderr("kivoparse: warning: --suggest-map " + suggestPath + ": " + std::to_string(leftOut) +
                    (one ? " repair" : " repairs") + " left out: a TAB or a line feed in a URL or a document's "
                    "path cannot be said in a map file; make " + (one ? "it" : "them") + " by hand\n");
    }
    const SiteCounts& counts = mSite.Counts();
    // The clauses of the new checks are said when they have something to say.
    std::string above = counts.aboveRoot == 0 ? std::string()
                                              : ", " + std::to_string(counts.aboveRoot) + " climbing above the site root";
    std::string anchors = !mOptions.mAnchors ? std::string()
                                             : "; " + std::to_string(counts.fragments) + " fragments checked: " +
                                                   std::to_string(counts.noAnchor) + " without their id or name";
    WriteStderr("kivoparse: " + std::to_string(counts.checked) + " local URLs checked: " +
                std::to_string(counts.missing) + " missing, " + std::to_string(counts.otherCase) +
                " in another letter case" + above + "; " + std::to_string(counts.external) + " external and " +
                std::to_string(counts.templates) + " with insert blocks not checked" + anchors + "\n");
    if (failed) return ECheckEnd::NotWritten;
    const bool problems = counts.missing || counts.otherCase || counts.aboveRoot || counts.noAnchor;
    return problems ? ECheckEnd::Problems : ECheckEnd::Clean;
}

}  // namespace cli
}  // namespace kivoparse
