// kivoparse mv. The site is walked for its files, every page is read and
// its URLs planned (on the workers), and only when every page could be read
// and every edit placed does anything change on disk: the new pages are
// written beside the old ones under temporary names, SRC is renamed to DST
// in one step, and the pages are renamed into place. A failure before the
// rename leaves the site as it was; after it, each page not put in place is
// named with the file that holds its new text.
#include "cli/MoveCommand.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <system_error>
#include <thread>

#include <kivoparse/kivoparse.h>
#include <kivoparse/site.h>

#include "cli/CJobRunner.h"
#include "cli/InputList.h"
#include "cli/SystemIO.h"
#include "cli/ValueFormat.h"

namespace kivoparse {
namespace cli {

namespace {

namespace fs = std::filesystem;

constexpr int kExitFailed = 1;

int Fail(const std::string& message) {
    WriteStderr("kivoparse: " + message + "\n");
    return kExitFailed;
}

std::string Quoted(const std::string& name) { return QuoteName(name, true); }

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// What the walk of the site found, every path from the site's root.
struct SSiteFiles {
    std::vector<std::string> mFiles;  // every name but folders: files, links, others
    std::vector<SInput> mPages;       // mPath on disk, mOutPath from the root
    std::vector<bool> mPageIsLink;
    std::vector<std::pair<std::string, std::string>> mLinks;  // symbolic link, its target as written
};

// Walks the site; symbolic links to folders are names, not followed. False
// with error for a folder that cannot be read: a page under it could not be
// rewritten.
bool WalkSite(const std::string& site, const std::vector<std::string>& extensions, SSiteFiles& found,
              std::string& error) {
    const bool walked = WalkFolder(
        site, [](const fs::path&) { return true; },
        [&](const fs::directory_entry& entry, const std::string& relative) {
            std::error_code ignored;
            const fs::file_status own = entry.symlink_status(ignored);
            found.mFiles.push_back(relative);
            const bool link = fs::is_symlink(own);
            if (link) found.mLinks.emplace_back(relative, fs::read_symlink(entry.path(), ignored).string());
            const std::string name = entry.path().filename().string();
            if ((fs::is_regular_file(own) || (link && fs::is_regular_file(entry.status(ignored)))) &&
                (HasExtension(name, extensions) || HasExtension(name, {"css"}))) {
                found.mPages.push_back(SInput{entry.path().string(), relative, std::string(), true});
            }
        },
        [&](const fs::path& folder, const std::error_code& code) {
            error = "cannot read folder " + Quoted(folder.string()) + ": " + code.message();
            return false;
        });
    if (!walked) return false;
    std::sort(found.mFiles.begin(), found.mFiles.end());
    std::sort(found.mPages.begin(), found.mPages.end(),
              [](const SInput& a, const SInput& b) { return a.mOutPath < b.mOutPath; });
    std::sort(found.mLinks.begin(), found.mLinks.end());
    for (const SInput& page : found.mPages) {
        struct stat info {};
        found.mPageIsLink.push_back(::lstat(page.mPath.c_str(), &info) == 0 && S_ISLNK(info.st_mode));
    }
    return true;
}

// One page's part of the move: its new text, and how many URLs of each kind change.
struct SPageChange {
    std::string mPath;     // from the root, before the move
    std::string mNewPath;  // after it
    std::string mTemp;     // from the root, before the move: the new text, staged beside the page
    std::array<std::size_t, kUrlKindCount> mRewritten{};
    std::size_t mCount = 0;
};

// A symbolic link whose target must be written anew: moved along, or
// pointing into what moves.
struct SLinkChange {
    std::string mOldPath;  // from the root, before the move
    std::string mPath;     // after it
    std::string mOldTarget, mNewTarget;
};

std::vector<SLinkChange> PlanLinks(const SiteMove& move, const std::string& site,
                                   const std::vector<std::pair<std::string, std::string>>& links) {
    std::vector<SLinkChange> changes;
    std::error_code ignored;
    const fs::path root = fs::absolute(fs::path(site), ignored).lexically_normal();
    auto inSite = [&](const fs::path& path, std::string& relative) {
        const fs::path below = path.lexically_relative(root);
        relative = below.generic_string();
        return !below.empty() && relative != "." && relative.compare(0, 2, "..") != 0;
    };
    for (const auto& [link, target] : links) {
        const std::string newLink = move.NewPath(link);
        const fs::path written(target);
        const fs::path oldFolder = (root / FolderOf(link)).lexically_normal();
        const fs::path newFolder = (root / FolderOf(newLink)).lexically_normal();
        const fs::path reached = (written.is_absolute() ? written : oldFolder / written).lexically_normal();
        std::string relative;
        fs::path wanted = reached;
        if (inSite(reached, relative)) wanted = (root / move.NewPath(relative)).lexically_normal();
        std::string newTarget;
        if (written.is_absolute()) {
            if (wanted != reached) newTarget = wanted.string();
        } else if ((newFolder / written).lexically_normal() != wanted) {
            newTarget = wanted.lexically_relative(newFolder).string();
        }
        if (!newTarget.empty() && newTarget != target) changes.push_back(SLinkChange{link, newLink, target, newTarget});
    }
    return changes;
}

std::string Join(const std::string& site, const std::string& relative) {
    return site.back() == '/' ? site + relative : site + "/" + relative;
}

// SRC and DST from the site's root; "" with problem set when one is not in it.
std::string FromRoot(const std::string& site, const std::string& path, std::string& problem) {
    std::error_code ignored;
    const fs::path root = fs::absolute(fs::path(site), ignored).lexically_normal();
    fs::path full = fs::absolute(fs::path(path), ignored).lexically_normal();
    if (full.filename().empty()) full = full.parent_path();
    const std::string relative = full.lexically_relative(root).generic_string();
    if (relative.empty() || relative == "." || relative.compare(0, 2, "..") == 0) {
        problem = Quoted(path) + " is not inside the site " + Quoted(site) +
                  (relative == "." ? " (it is the site itself)" : "");
        return std::string();
    }
    return relative;
}

std::string Summary(std::size_t read, std::size_t changed, const std::array<std::size_t, kUrlKindCount>& kinds) {
    std::size_t total = 0;
    std::string perKind;
    for (std::size_t k = 0; k < kUrlKindCount; ++k) {
        if (kinds[k] == 0) continue;
        total += kinds[k];
        perKind += (perKind.empty() ? ": " : ", ") + std::to_string(kinds[k]) + " " +
                   UrlKindName(static_cast<UrlKind>(k));
    }
    return std::to_string(read) + (read == 1 ? " page" : " pages") + " read, " + std::to_string(changed) + " changed, " +
           std::to_string(total) + (total == 1 ? " URL" : " URLs") + " rewritten" + perKind;
}

// A staged file's path from the root: beside path, named as temp is.
std::string StagedPath(const std::string& path, const std::string& temp) {
    const std::string folder = FolderOf(path);
    const std::string name = temp.substr(temp.rfind('/') + 1);
    return folder.empty() ? name : folder + "/" + name;
}

// The pages are staged already (by the workers, as each was planned);
// unstage removes them. Pages that fail leave the site as it is.
void Unstage(const std::string& site, const std::vector<SPageChange>& pages) {
    for (const SPageChange& page : pages) {
        if (!page.mTemp.empty()) RemoveStaged(Join(site, page.mTemp));
    }
}

// The change on disk: every new text and link staged beside its old file,
// SRC renamed to DST, then each staged file renamed into its place.
int ApplyMove(const std::string& site, const SiteMove& move, const std::string& srcDisk, const std::string& dstDisk,
              const std::vector<SPageChange>& pages, const std::vector<SLinkChange>& links, const std::string& done) {
    struct SStaged {
        std::string mTemp;  // from the root, before the move
        std::string mTarget;  // from the root, after it
    };
    std::vector<SStaged> staged;
    for (const SPageChange& page : pages) {
        if (!page.mTemp.empty()) staged.push_back(SStaged{page.mTemp, page.mNewPath});
    }
    auto unstage = [&] {
        for (const SStaged& s : staged) RemoveStaged(Join(site, s.mTemp));
    };
    std::string error;
    for (const SLinkChange& link : links) {
        // Staged beside where the link is before the move.
        const std::string& oldPath = link.mOldPath;
        std::string temp;
        if (!StageLink(Join(site, oldPath), link.mNewTarget, temp, error)) {
            unstage();
            return Fail(error + "; nothing moved");
        }
        staged.push_back(SStaged{StagedPath(oldPath, temp), link.mPath});
    }
    // From the rename on, a signal waits until every file is in place: a
    // site moved but not rewritten would have its URLs broken.
    bool renamed = false;
    std::vector<std::string> left;
    WithoutInterruption([&] {
        if (!(renamed = RenamePath(srcDisk, dstDisk, error))) return;
        for (const SStaged& s : staged) {
            const std::string temp = Join(site, move.NewPath(s.mTemp));
            RenameStaged(Join(site, s.mTemp), temp);
            if (!CommitStaged(temp, Join(site, s.mTarget), error)) {
                left.push_back(Join(site, s.mTarget) + " (" + error + "; its new text is in " + Quoted(temp) + ")");
            }
        }
    });
    if (!renamed) {
        unstage();
        return Fail(error + "; nothing moved");
    }
    if (left.empty()) {
        WriteStderr("kivoparse: moved " + done + "\n");
        return 0;
    }
    std::string message = "moved " + done + "; but " + std::to_string(left.size()) + " of " +
                          std::to_string(staged.size()) + " rewritten files could not be put in place and keep their "
                          "old URLs:";
    for (const std::string& line : left) message += "\n  " + line;
    return Fail(message);
}

}  // namespace

int RunMove(const SOptions& options) {
    if (options.mOperands.size() != 2) {
        return UsageError(options, "mv takes two paths, SRC and DST (got " + std::to_string(options.mOperands.size()) + ")");
    }
    const std::string& site = options.mSite;
    const std::string& srcArg = options.mOperands[0];
    const std::string& dstArg = options.mOperands[1];
    std::error_code code;
    if (!fs::is_directory(fs::u8path(site), code)) return Fail(Quoted(site) + ": no such folder (-r names the site)");
    std::string problem;
    const std::string src = FromRoot(site, srcArg, problem);
    const std::string dst = problem.empty() ? FromRoot(site, dstArg, problem) : std::string();
    if (!problem.empty()) return UsageError(options, "cannot move: " + problem);
    const std::string srcDisk = Join(site, src), dstDisk = Join(site, dst);
    struct stat srcInfo {}, dstInfo {};
    if (::lstat(srcDisk.c_str(), &srcInfo) != 0) {
        return Fail("cannot move " + Quoted(srcArg) + ": " + std::strerror(errno));
    }
    if (::lstat(dstDisk.c_str(), &dstInfo) == 0 &&
        !(dstInfo.st_dev == srcInfo.st_dev && dstInfo.st_ino == srcInfo.st_ino && src != dst)) {
        return Fail("cannot move " + Quoted(srcArg) + " to " + Quoted(dstArg) + ": " + Quoted(dstArg) +
                    " exists already; nothing is overwritten");
    }
    const std::string dstFolder = FolderOf(dstDisk);
    if (!dstFolder.empty() && !fs::is_directory(fs::u8path(dstFolder), code)) {
        return Fail("cannot move " + Quoted(srcArg) + " to " + Quoted(dstArg) + ": no folder " + Quoted(dstFolder) +
                    " to move it into");
    }

    SSiteFiles found;
    std::string error;
    if (!WalkSite(site, options.mExtensions, found, error)) return Fail(error + "; nothing moved");
    // An empty folder has no file to show it: it is named as one.
    if (S_ISDIR(srcInfo.st_mode) && std::none_of(found.mFiles.begin(), found.mFiles.end(), [&](const std::string& f) {
            return f.size() > src.size() && f.compare(0, src.size(), src) == 0 && f[src.size()] == '/';
        })) {
        found.mFiles.push_back(src);
    }
    std::optional<SiteMove> move;
    try {
        move.emplace(found.mFiles, src, dst, options.mSiteUrl);
    } catch (const MoveError& refused) {
        return Fail(std::string("cannot move: ") + refused.what());
    }

    // Every page read and planned on the workers, each into its own slot.
    std::vector<SPageChange> planned(found.mPages.size());
    auto process = [&](Parser&, const SInput& input) {
        SJobResult result;
        std::string text;
        if (!ReadWholeFile(input.mPath, text, result.mError)) {
            result.mFailed = true;
            return result;
        }
        const KeptRewrite kept = move->RewriteDocument(input.mOutPath, text);
        if (kept.leftAlone > 0) {
            result.mFailed = true;
            result.mError = std::to_string(kept.leftAlone) + (kept.leftAlone == 1 ? " URL" : " URLs") +
                            " that the move changes cannot be written in place (its quoting cannot hold the new URL)";
            return result;
        }
        if (!kept.Changed()) return result;
        const std::size_t index = static_cast<std::size_t>(&input - found.mPages.data());
        SPageChange& page = planned[index];
        page.mPath = input.mOutPath;
        page.mNewPath = move->NewPath(input.mOutPath);
        for (std::size_t k = 0; k < kUrlKindCount; ++k) page.mRewritten[k] = kept.rewritten[k];
        page.mCount = kept.edits.size();
        if (options.mDryRun) {
            result.mOutput = UnifiedDiff(Join(site, page.mPath), text, kept);
            if (page.mNewPath != page.mPath) {
                // The new text is read at the page's new place.
                const std::size_t plus = result.mOutput.find("\n+++ ");
                const std::size_t end = result.mOutput.find('\n', plus + 1);
                if (plus != std::string::npos && end != std::string::npos) {
                    result.mOutput.replace(plus + 1, end - plus - 1, "+++ b/" + Join(site, page.mNewPath));
                }
            }
        } else if (!found.mPageIsLink[index]) {
            std::string temp;
            if (!StageFile(input.mPath, kept.html, temp, result.mError)) {
                result.mFailed = true;
                return result;
            }
            page.mTemp = StagedPath(page.mPath, temp);
        }
        return result;
    };
    std::size_t failed = 0;
    bool outputClosed = false, outputFailed = false;
    std::vector<std::string> skippedLinks;
    auto emit = [&](const SInput& input, SJobResult& result) {
        const std::size_t index = static_cast<std::size_t>(&input - found.mPages.data());
        if (result.mFailed) {
            ++failed;
            WriteStderr("kivoparse: " + DisplayName(input.mPath) + ": " + result.mError + "\n");
            return true;
        }
        if (planned[index].mCount > 0 && found.mPageIsLink[index]) {
            // The link stays a link; the file it names is rewritten where it
            // lies, if in the site, which serves the link as well when both
            // are in one folder. Elsewhere the user is told.
            std::error_code ignored;
            const fs::path link(input.mPath);
            if (fs::canonical(link, ignored).parent_path() != fs::canonical(link.parent_path(), ignored)) {
                skippedLinks.push_back(input.mPath);
            }
            planned[index] = SPageChange();
            return true;
        }
        if (result.mOutput.empty() || outputClosed) return true;
        switch (WriteStdout(result.mOutput, error)) {
            case EWriteResult::Ok: return true;
            case EWriteResult::ClosedPipe: outputClosed = true; return true;  // the reader has all it wanted
            case EWriteResult::Failed: break;
        }
        outputFailed = true;
        return false;
    };
    const unsigned jobs = options.mJobs != 0 ? options.mJobs : std::max(1u, std::thread::hardware_concurrency());
    const bool progress = IsTerminal(2) && found.mPages.size() > 1 && !(options.mDryRun && IsTerminal(1));
    CJobRunner runner(found.mPages, jobs, found.mPages.size(), progress);
    if (!options.mDryRun) RemoveTemporariesOnSignal();  // the workers stage the new pages
    if (!runner.Run(process, emit, error)) {
        Unstage(site, planned);
        return Fail(error + "; nothing moved");
    }
    if (outputFailed) return Fail("cannot write to standard output: " + error + "; nothing moved");
    for (const std::string& link : skippedLinks) {
        WriteStderr("kivoparse: warning: " + DisplayName(link) +
                    " is a symbolic link to a page in another folder: left as it is, and its relative URLs are read "
                    "from there (the page it names is rewritten where it lies, if in the site)\n");
    }
    if (failed > 0) {
        Unstage(site, planned);
        return Fail(std::to_string(failed) + (failed == 1 ? " page" : " pages") +
                    " could not be read or rewritten; nothing moved");
    }
    std::array<std::size_t, kUrlKindCount> kinds{};
    std::size_t changedPages = 0;
    for (const SPageChange& page : planned) {
        if (page.mCount == 0) continue;
        ++changedPages;
        for (std::size_t k = 0; k < kUrlKindCount; ++k) kinds[k] += page.mRewritten[k];
    }
    const std::vector<SLinkChange> links = PlanLinks(*move, site, found.mLinks);
    const std::size_t movedFiles = move->MovedFiles().size();
    const std::string what = Quoted(srcDisk) + " to " + Quoted(dstDisk) + " (" + std::to_string(movedFiles) +
                             (movedFiles == 1 ? " file" : " files") + ")";
    std::string linkNote;
    if (!links.empty()) {
        linkNote = "; " + std::to_string(links.size()) + " symbolic " + (links.size() == 1 ? "link" : "links") +
                   " given a new target";
    }
    if (options.mDryRun) {
        std::string text;
        for (const SLinkChange& link : links) {
            text += "symbolic link " + Join(site, link.mPath) + ": " + link.mOldTarget + " -> " + link.mNewTarget + "\n";
        }
        if (!text.empty() && !outputClosed && WriteStdout(text, error) == EWriteResult::Failed) {
            return Fail("cannot write to standard output: " + error);
        }
        WriteStderr("kivoparse: dry run, nothing changed: would move " + what + "; " +
                    Summary(found.mPages.size(), changedPages, kinds) + linkNote + "\n");
        return 0;
    }
    return ApplyMove(site, *move, srcDisk, dstDisk, planned, links, what + "; " +
                     Summary(found.mPages.size(), changedPages, kinds) + linkNote);
}

}  // namespace cli
}  // namespace kivoparse
