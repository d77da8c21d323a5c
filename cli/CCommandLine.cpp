// Reading the command line with CLI11: one subcommand a command, each with
// the options it takes, made when the command is read (or described), so
// that "--version", "--help" and every run build the least. CLI11 reads the
// words, checks the values and writes the help and the error messages.
#include "cli/CCommandLine.h"

#include <CLI/CLI.hpp>

#include <algorithm>

#include <kivoparse/kivoparse.h>

#include "cli/SystemIO.h"
#include "cli/ValueFormat.h"

namespace kivoparse {
namespace cli {

namespace {

constexpr int kExitUsage = 2;

constexpr const char* kKindsList =
    "the kinds of URL, comma separated: images, links, resources, frames, media, areas, forms, srcset, refresh, "
    "css, or all ";

CLI::Validator Named() {
    return CLI::Validator([](std::string& v) { return v.empty() ? "wants a name, not an empty word" : ""; }, "");
}

// "html,HTM,.shtml": lower-case endings without dots; "" when the list is bad.
std::string ReadExtensions(const std::string& list, std::vector<std::string>& endings) {
    endings.clear();
    for (std::size_t start = 0; start <= list.size();) {
        std::size_t comma = std::min(list.find(',', start), list.size());
        std::string item = list.substr(start, comma - start);
        if (!item.empty() && item[0] == '.') item.erase(0, 1);
        if (item.empty() || item.find_first_of(std::string("/\0", 2)) != std::string::npos) {
            return "wants a comma-separated list of name endings such as html,htm; got " + QuoteName(list, true);
        }
        for (char& c : item) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        endings.push_back(item);
        start = comma + 1;
    }
    return std::string();
}

// The pieces several commands share, in the order their help lists them.

// --base and --log; returns --log, which excludes -r.
CLI::Option* AddBaseAndLog(CLI::App& sub, SOptions& options) {
    sub.add_option("--base", options.mBase, "document base, removed from the image URLs while parsing")
        ->option_text("TEXT");
    return sub.add_option("--log", options.mLogPath, "append the parser's trace to FILE (a single input only)")
        ->option_text("FILE")
        ->check(Named());
}

// --json, and -0 for the value lists; -0 and --json exclude each other.
void AddListFormat(CLI::App& sub, bool nul) {
    auto* nulFlag = nul ? sub.add_flag("-0", "end each value with a NUL byte instead of a line feed") : nullptr;
    auto* json = sub.add_flag("--json", "write the values as JSON (docs/cli.md)");
    if (nulFlag) nulFlag->excludes(json->excludes(nulFlag));
}

void AddExtensions(CLI::App& sub, SOptions& options, const char* description) {
    sub.add_option_function<std::string>(
           "--ext",
           [&options](const std::string& list) {
               std::string problem = ReadExtensions(list, options.mExtensions);
               if (!problem.empty()) throw CLI::ValidationError("--ext", problem);
               options.mExtGiven = true;
           },
           description)
        ->option_text("LIST");
}

constexpr const char* kExtensionsOfPages = "with -r, the name endings to take (default: html,htm)";
constexpr const char* kExtensionsOfSites =
    "with -r, the name endings to take (default: html,htm; with css for urls, check and fix --map)";

// -r and --ext; log, when the command has one, excludes -r.
void AddWalk(CLI::App& sub, SOptions& options, CLI::Option* log, const char* extensions) {
    auto* recursive = sub.add_flag("-r,--recursive", options.mRecursive, "read the files under directories");
    if (log) log->excludes(recursive);
    AddExtensions(sub, options, extensions);
}

void AddOut(CLI::App& sub, SOptions& options) {
    sub.add_option("--out", options.mOutDir, "write each result to a file under DIR")
        ->option_text("DIR")
        ->check(Named());
}

void AddJobs(CLI::App& sub, SOptions& options) {
    sub.add_option("-j,--jobs", options.mJobs, "parse N files at a time (default: the number of cores)")
        ->option_text("N")
        ->check(CLI::Range(1, 1024));
}

// --raw-text, --no-raw-text, -j and the FILE operands: the last of every command but mv.
void AddReadingAndFiles(CLI::App& sub, SOptions& options) {
    auto* rawText = sub.add_flag("--raw-text",
                                 "SCRIPT, STYLE and other raw-text elements hold text up to their end tag, as in "
                                 "a browser (default: urls, check, fix --map)");
    rawText->excludes(sub.add_flag("--no-raw-text",
                                   "markup inside SCRIPT, STYLE, ... is read as tags (default: the other "
                                   "commands)"));
    AddJobs(sub, options);
    sub.add_option("FILE", options.mOperands, "the documents (none or \"-\": the standard input)");
}

// --kinds and --all, which exclude each other; returns them in that order.
std::pair<CLI::Option*, CLI::Option*> AddKinds(CLI::App& sub, SOptions& options, const std::string& byDefault) {
    auto* kinds = sub.add_option_function<std::string>(
                         "--kinds",
                         [&options](const std::string& list) {
                             std::string problem;
                             if (!UrlKinds::Parse(list, options.mKinds, problem)) {
                                 throw CLI::ValidationError("--kinds", problem);
                             }
                             options.mKindsGiven = true;
                         },
                         kKindsList + byDefault)
                      ->option_text("LIST");
    auto* all = sub.add_flag_callback(
        "--all",
        [&options] {
            options.mKinds = UrlKinds::All();
            options.mKindsGiven = true;
        },
        "every kind");
    kinds->excludes(all);
    return {kinds, all};
}

// The options of each command.

void AddHtmlOptions(CLI::App& sub, SOptions& options) {
    CLI::Option* log = AddBaseAndLog(sub, options);
    AddWalk(sub, options, log, kExtensionsOfPages);
    AddOut(sub, options);
    AddReadingAndFiles(sub, options);
}

void AddListOptions(CLI::App& sub, SOptions& options) {
    CLI::Option* log = AddBaseAndLog(sub, options);
    AddListFormat(sub, true);
    AddWalk(sub, options, log, kExtensionsOfPages);
    AddReadingAndFiles(sub, options);
}

// fix-images and fix-hrefs: the map of pairs goes to map.
void AddPairFixOptions(CLI::App& sub, SOptions& options, std::string& map) {
    sub.add_option("--map", map, "the pairs, one a line: old value, TAB, new value (\"-\": standard input)")
        ->option_text("MAPFILE")
        ->required()
        ->check(Named());
    sub.add_flag("--keep-bytes", options.mKeepBytes,
                 "write back only the changed URLs' bytes, every other byte as it was");
    CLI::Option* log = AddBaseAndLog(sub, options);
    AddWalk(sub, options, log, kExtensionsOfPages);
    AddOut(sub, options);
    AddReadingAndFiles(sub, options);
}

void AddFixImagesOptions(CLI::App& sub, SOptions& options) { AddPairFixOptions(sub, options, options.mImagesMap); }

void AddFixHrefsOptions(CLI::App& sub, SOptions& options) { AddPairFixOptions(sub, options, options.mHrefsMap); }

// fix: a rule map, or the pairs of images and links; --kinds, --all and
// --root go with the rule map only.
void AddFixOptions(CLI::App& sub, SOptions& options) {
    auto* rules = sub.add_option("--map", options.mRuleMap,
                                 "a rule map for every URL of the chosen kinds: pairs as for fix-images, an old "
                                 "value ending in \"*\" is a prefix rule (docs/cli.md)")
                      ->option_text("MAPFILE")
                      ->check(Named());
    rules->excludes(
        sub.add_option("--images-map", options.mImagesMap, "the pairs for the image URLs (as fix-images --map)")
            ->option_text("MAPFILE")
            ->check(Named()));
    rules->excludes(
        sub.add_option("--hrefs-map", options.mHrefsMap, "the pairs for the link URLs (as fix-hrefs --map)")
            ->option_text("MAPFILE")
            ->check(Named()));
    sub.add_flag("--keep-bytes", options.mKeepBytes,
                 "write back only the changed URLs' bytes, every other byte as it was (the default of --map)")
        ->excludes(sub.add_flag("--normalize", options.mNormalize,
                                "write the documents back normalised (the default without --map)"));
    sub.add_flag("--dry-run", options.mDryRun,
                 "write nothing: print a unified diff of what would change, and the summary");
    auto kinds = AddKinds(sub, options, "(default: the map's @kinds line, else images,links)");
    kinds.first->needs(rules);
    kinds.second->needs(rules);
    sub.add_option("--root", options.mRoot,
                   "the folder the map's @document sections are named from (default: the directory operand, or a "
                   "file operand's own folder)")
        ->option_text("DIR")
        ->needs(rules);
    CLI::Option* log = AddBaseAndLog(sub, options);
    AddWalk(sub, options, log, kExtensionsOfSites);
    AddOut(sub, options);
    AddReadingAndFiles(sub, options);
}

void AddUrlsOptions(CLI::App& sub, SOptions& options) {
    AddKinds(sub, options, "(default: images,links)");
    AddListFormat(sub, false);
    AddWalk(sub, options, nullptr, kExtensionsOfSites);
    AddReadingAndFiles(sub, options);
}

void AddCheckOptions(CLI::App& sub, SOptions& options) {
    AddKinds(sub, options, "(default: all)");
    sub.add_option("--root", options.mRoot,
                   "the folder root-relative URLs (\"/...\") start from (default: the directory operand, or a file "
                   "operand's own folder)")
        ->option_text("DIR");
    sub.add_option("--suggest-map", options.mSuggestMap,
                   "write the map that repairs every URL found in another letter case, for fix --map")
        ->option_text("FILE")
        ->check(Named());
    sub.add_flag("--anchors", options.mAnchors,
                 "also report a URL's fragment (page.html#name) that its page holds no id or name for");
    AddListFormat(sub, false);
    AddWalk(sub, options, nullptr, kExtensionsOfSites);
    AddReadingAndFiles(sub, options);
}

// mv: two operands and the site they lie in; -r takes the site here.
void AddMoveOptions(CLI::App& sub, SOptions& options) {
    sub.add_option("-r,--site", options.mSite, "the site's folder: every page under it is read and rewritten")
        ->option_text("SITE")
        ->required()
        ->check(Named());
    sub.add_option("--site-url", options.mSiteUrl,
                   "where the site is served (https://example.com/docs/): absolute URLs under it are rewritten too")
        ->option_text("URL")
        ->check(Named());
    sub.add_flag("--dry-run,-n", options.mDryRun, "print the unified diff and the summary, change nothing");
    AddExtensions(sub, options,
                  "the name endings of the pages to read (default: html,htm; stylesheets, .css, are read too)");
    AddJobs(sub, options);
    sub.add_option("SRC DST", options.mOperands, "what moves and where to, both inside SITE")
        ->expected(2)
        ->required()
        ->type_name("PATH");
}

struct SCommand {
    ECommand mCommand;
    const char* mName;
    const char* mDescription;
    const char* mExample;
    void (*mAddOptions)(CLI::App&, SOptions&);
};

constexpr SCommand kCommands[] = {
    {ECommand::Html, "html", "write each document back as normalised HTML", "kivoparse html -r site --out clean",
     AddHtmlOptions},
    {ECommand::Images, "images", "list the image URLs (src of IMG and INPUT, background of any tag)",
     "kivoparse images --base 'C:\\web\\' page.html", AddListOptions},
    {ECommand::Hrefs, "hrefs", "list the link URLs (href of A)", "kivoparse hrefs -0 -r site", AddListOptions},
    {ECommand::FixImages, "fix-images", "rewrite image URLs with the pairs of a map file, write the HTML",
     "kivoparse fix-images --map renamed.tsv -r . --out ../fixed", AddFixImagesOptions},
    {ECommand::FixHrefs, "fix-hrefs", "rewrite link URLs with the pairs of a map file, write the HTML",
     "kivoparse fix-hrefs --map links.tsv page.html > page-fixed.html", AddFixHrefsOptions},
    {ECommand::Fix, "fix",
     "rewrite image and link URLs in one pass (or the chosen kinds by a rule map), write the HTML",
     "kivoparse fix --images-map img.tsv --hrefs-map links.tsv -r . --out .\n"
     "  kivoparse fix --map moved.tsv --all -r site --out site",
     AddFixOptions},
    {ECommand::Urls, "urls",
     "list every URL of the chosen kinds with its place (FILE:LINE:COLUMN: KIND TAG ATTRIBUTE URL)",
     "kivoparse urls --all --json -r site", AddUrlsOptions},
    {ECommand::Check, "check",
     "report the local URLs whose target is missing or exists only in another letter case",
     "kivoparse check -r site --suggest-map case.tsv", AddCheckOptions},
    {ECommand::Move, "mv",
     "move a file or folder inside a site, rewriting every URL to it and from it (SRC DST -r SITE)",
     "kivoparse mv site/img site/assets/img -r site --dry-run", AddMoveOptions},
};

bool IsList(ECommand command) { return command == ECommand::Images || command == ECommand::Hrefs; }

// The words of the command line as CLI11 reads them, last first, and what
// has been read of them. CLI11 reads "--base=" as "--base" and takes the
// next word as its value; a value written with "=" and nothing after it
// ("--base=$EMPTY" in a script) is the empty value it shows. So each value
// option is checked as soon as it is read: when its value is the word after
// a "--NAME=" of its own, the value is empty and that word is given back,
// to be read in its own right. ("--NAME=" as the last word has no word
// after it: CLI11 says the value is missing.) Being checked as they are
// read, of several bad values the first on the command line is reported.
class CWords {
  public:
    CWords(int argc, char** argv) : mArgv(argv, argv + argc) {
        mUnread.assign(mArgv.rbegin(), mArgv.rend() - (argc > 0 ? 1 : 0));
    }
    std::vector<std::string>& Unread() { return mUnread; }

    // Makes each value option of sub read "--NAME=" as the empty value.
    void TakeEmptyAfterEquals(CLI::App& sub) {
        for (CLI::Option* option : sub.get_options()) {
            if (!option->nonpositional() || option->get_type_size_max() == 0) continue;
            std::vector<std::string> written;
            for (const std::string& name : option->get_lnames()) written.push_back("--" + name + "=");
            option->trigger_on_parse()->transform(CLI::Validator(
                [this, written](std::string& value) {
                    // mArgv[next] is the next word to read; the value was the word before it.
                    if (mUnread.size() + 3 > mArgv.size()) return std::string();
                    const std::size_t next = mArgv.size() - mUnread.size();
                    if (mArgv[next - 1] != value ||
                        std::find(written.begin(), written.end(), mArgv[next - 2]) == written.end()) {
                        return std::string();
                    }
                    mUnread.push_back(value);
                    value.clear();
                    return std::string();
                },
                ""));
        }
    }

  private:
    std::vector<std::string> mArgv;    // as given, the program's name first
    std::vector<std::string> mUnread;  // last first, as CLI11 takes them
};

// The message of a usage error, then where to find help.
int WriteUsageError(const std::string& command, const std::string& message) {
    std::string name = command.empty() ? "kivoparse" : "kivoparse " + command;
    WriteStderr("kivoparse: " + QuoteName(message, false) + "\nTry '" + name + " --help'.\n");
    return kExitUsage;
}

}  // namespace

int UsageError(const SOptions& options, const std::string& message) {
    for (const SCommand& command : kCommands) {
        if (command.mCommand == options.mCommand) return WriteUsageError(command.mName, message);
    }
    return WriteUsageError("", message);
}

int ParseCommandLine(int argc, char** argv, SOptions& options) {
    CWords words(argc, argv);  // outlives the app, whose checks point to it
    CLI::App app("kivoparse - parse HTML documents, list and rewrite their image and link URLs", "kivoparse");
    app.set_version_flag("--version", std::string("kivoparse ") + Version());
    app.require_subcommand(0, 1);  // a word that is no command is then named as such
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.footer("Without FILE, or for FILE \"-\", the standard input is read. Exit status: 0 all went well;\n"
               "1 an input could not be read or an output not written; 2 usage error. check: 1 problems\n"
               "found; 3 an input could not be read or an output not written. Manual: docs/cli.md\n");
    // "help [COMMAND]" asks for the help of the tool or of a command.
    CLI::App* help = app.add_subcommand("help", "describe a command");
    std::string helpOn;
    help->add_option("COMMAND", helpOn);
    const CLI::App* described = nullptr;  // set by "help"
    bool unknownCommand = false;
    for (const SCommand& command : kCommands) {
        CLI::App* sub = app.add_subcommand(command.mName, command.mDescription);
        sub->footer(std::string("Example:\n  ") + command.mExample);
        sub->preparse_callback([&options, &words, &command, sub](std::size_t) {
            command.mAddOptions(*sub, options);
            words.TakeEmptyAfterEquals(*sub);
        });
    }
    help->callback([&] {
        described = &app;
        if (helpOn.empty()) throw CLI::CallForHelp();
        for (const SCommand& command : kCommands) {
            if (helpOn != command.mName) continue;
            CLI::App* sub = app.get_subcommand(command.mName);
            command.mAddOptions(*sub, options);
            described = sub;
            throw CLI::CallForHelp();
        }
        unknownCommand = true;
        throw CLI::ValidationError("unknown command " + QuoteName(helpOn, true));
    });
    try {
        app.parse(words.Unread());
    } catch (const CLI::CallForHelp& done) {
        if (!described) return app.exit(done);  // --help
        std::string error, name = described == &app ? "kivoparse" : "kivoparse " + described->get_name();
        std::string text = described->get_formatter()->make_help(described, name, CLI::AppFormatMode::Normal);
        if (WriteStdout(text, error) != EWriteResult::Failed) return 0;
        WriteStderr("kivoparse: cannot write to standard output: " + error + "\n");
        return 1;
    } catch (const CLI::Success& done) {  // --version
        return app.exit(done);
    } catch (const CLI::ParseError& error) {
        std::vector<CLI::App*> chosen = app.get_subcommands();
        bool general = chosen.empty() || unknownCommand;
        return WriteUsageError(general ? "" : chosen.front()->get_name(), error.what());
    }
    if (app.get_subcommands().empty()) return WriteUsageError("", CLI::RequiredError("A subcommand").what());
    CLI::App* sub = app.get_subcommands().front();
    for (const SCommand& command : kCommands) {
        if (sub->get_name() == command.mName) options.mCommand = command.mCommand;
    }
    if (IsList(options.mCommand) && sub->count("-0")) options.mFormat = EListFormat::Nul;
    if (sub->get_option_no_throw("--json") && sub->count("--json")) options.mFormat = EListFormat::Json;
    options.mHasBase = sub->get_option_no_throw("--base") && sub->count("--base") > 0;
    options.mHasOut = sub->get_option_no_throw("--out") && sub->count("--out") > 0;
    // A rule map edits the URLs in place unless asked to normalise.
    if (options.mCommand == ECommand::Fix && !options.mRuleMap.empty() && !options.mNormalize) {
        options.mKeepBytes = true;
    }
    // The commands on a site's URLs read its stylesheets too, check looks
    // at every kind unless told otherwise, and scripts and styles are read
    // as a browser reads them (so is a page edited in place, --keep-bytes);
    // the commands of the first release keep their reading.
    const ECommand command = options.mCommand;
    options.mStylesheets = command == ECommand::Urls || command == ECommand::Check ||
                           (command == ECommand::Fix && !options.mRuleMap.empty());
    if (options.mStylesheets && !options.mExtGiven) options.mExtensions.push_back("css");
    if (command == ECommand::Check && !options.mKindsGiven) options.mKinds = UrlKinds::All();
    // mv always reads pages as a browser does: it has neither option.
    if (command == ECommand::Move) options.mRawText = true;
    else options.mRawText = sub->count("--raw-text") > 0 ||
                            ((options.mStylesheets || options.mKeepBytes) && sub->count("--no-raw-text") == 0);
    return -1;
}

}  // namespace cli
}  // namespace kivoparse
