// Reading the command line with CLI11: one subcommand a command, each option
// declared once and added to the commands that take it; CLI11 reads the
// words, checks the values and writes the help and the error messages.
#include "cli/CCommandLine.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstring>

#include <kivoparse/kivoparse.h>

#include "cli/SystemIO.h"
#include "cli/ValueFormat.h"

namespace kivoparse {
namespace cli {

namespace {

constexpr int kExitUsage = 2;

struct SCommand {
    ECommand mCommand;
    const char* mName;
    const char* mDescription;
    const char* mExample;
};

constexpr SCommand kCommands[] = {
    {ECommand::Html, "html", "write each document back as normalised HTML", "kivoparse html -r site --out clean"},
    {ECommand::Images, "images", "list the image URLs (src of IMG and INPUT, background of any tag)",
     "kivoparse images --base 'C:\\web\\' page.html"},
    {ECommand::Hrefs, "hrefs", "list the link URLs (href of A)", "kivoparse hrefs -0 -r site"},
    {ECommand::FixImages, "fix-images", "rewrite image URLs with the pairs of a map file, write the HTML",
     "kivoparse fix-images --map renamed.tsv -r . --out ../fixed"},
    {ECommand::FixHrefs, "fix-hrefs", "rewrite link URLs with the pairs of a map file, write the HTML",
     "kivoparse fix-hrefs --map links.tsv page.html > page-fixed.html"},
    {ECommand::Fix, "fix",
     "rewrite image and link URLs in one pass (or the chosen kinds by a rule map), write the HTML",
     "kivoparse fix --images-map img.tsv --hrefs-map links.tsv -r . --out .\n"
     "  kivoparse fix --map moved.tsv --all -r site --out site"},
    {ECommand::Urls, "urls",
     "list every URL of the chosen kinds with its place (FILE:LINE:COLUMN: KIND TAG ATTRIBUTE URL)",
     "kivoparse urls --all --json -r site"},
    {ECommand::Check, "check",
     "report the local URLs whose target is missing or exists only in another letter case",
     "kivoparse check -r site --suggest-map case.tsv"},
    {ECommand::Move, "mv",
     "move a file or folder inside a site, rewriting every URL to it and from it (SRC DST -r SITE)",
     "kivoparse mv site/img site/assets/img -r site --dry-run"},
};

bool IsList(ECommand command) { return command == ECommand::Images || command == ECommand::Hrefs; }

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

void ExtensionOption(SOptions& options, CLI::App& sub) {
    sub.add_option_function<std::string>(
           "--ext",
           [&options](const std::string& list) {
               std::string problem = ReadExtensions(list, options.mExtensions);
               if (!problem.empty()) throw CLI::ValidationError("--ext", problem);
           },
           "the name endings of the pages to read (default: html,htm; stylesheets, .css, are read too)")
        ->option_text("LIST");
}

// mv: two operands and the site they lie in; -r takes the site here.
void AddMoveOptions(CLI::App& sub, SOptions& options, const CLI::Validator& named) {
    sub.add_option("-r,--site", options.mSite, "the site's folder: every page under it is read and rewritten")
        ->option_text("SITE")->required()->check(named);
    sub.add_option("--site-url", options.mSiteUrl,
                   "where the site is served (https://example.com/docs/): absolute URLs under it are rewritten too")
        ->option_text("URL")->check(named);
    sub.add_flag("--dry-run,-n", options.mDryRun, "print the unified diff and the summary, change nothing");
    ExtensionOption(options, sub);
    sub.add_option("-j,--jobs", options.mJobs, "parse N files at a time (default: the number of cores)")
        ->option_text("N")->check(CLI::Range(1, 1024));
    sub.add_option("SRC DST", options.mOperands, "what moves and where to, both inside SITE")
        ->expected(2)->required()->type_name("PATH");
}

// Adds the options of command to sub, each bound to its field of options.
void AddOptions(CLI::App& sub, ECommand command, SOptions& options) {
    const CLI::Validator named([](std::string& v) { return v.empty() ? "wants a name, not an empty word" : ""; }, "");
    if (command == ECommand::Move) {
        AddMoveOptions(sub, options, named);
        return;
    }
    bool lists = IsList(command), urls = command == ECommand::Urls || command == ECommand::Check;
    bool fix = !lists && !urls && command != ECommand::Html;
    if (command == ECommand::FixImages || command == ECommand::FixHrefs) {
        auto& map = command == ECommand::FixImages ? options.mImagesMap : options.mHrefsMap;
        sub.add_option("--map", map, "the pairs, one a line: old value, TAB, new value (\"-\": standard input)")
            ->option_text("MAPFILE")->required()->check(named);
    }
    CLI::Option* rules = nullptr;
    if (command == ECommand::Fix) {
        rules = sub.add_option("--map", options.mRuleMap,
                               "a rule map for every URL of the chosen kinds: pairs as for fix-images, an old value "
                               "ending in \"*\" is a prefix rule (docs/cli.md)")
                    ->option_text("MAPFILE")->check(named);
        rules->excludes(
            sub.add_option("--images-map", options.mImagesMap, "the pairs for the image URLs (as fix-images --map)")
                ->option_text("MAPFILE")->check(named));
        rules->excludes(
            sub.add_option("--hrefs-map", options.mHrefsMap, "the pairs for the link URLs (as fix-hrefs --map)")
                ->option_text("MAPFILE")->check(named));
    }
    if (fix) {
        auto* keep = sub.add_flag("--keep-bytes", options.mKeepBytes,
                                  command == ECommand::Fix
                                      ? "write back only the changed URLs' bytes, every other byte as it was (the "
                                        "default of --map)"
                                      : "write back only the changed URLs' bytes, every other byte as it was");
        if (command == ECommand::Fix) {
            keep->excludes(sub.add_flag("--normalize", options.mNormalize,
                                        "write the documents back normalised (the default without --map)"));
            sub.add_flag("--dry-run", options.mDryRun,
                         "write nothing: print a unified diff of what would change, and the summary");
        }
    }
    if (urls || rules) {
        auto* kinds = sub.add_option_function<std::string>(
                             "--kinds",
                             [&options](const std::string& list) {
                                 std::string problem;
                                 if (!UrlKinds::Parse(list, options.mKinds, problem)) {
                                     throw CLI::ValidationError("--kinds", problem);
                                 }
                                 options.mKindsGiven = true;
                             },
                             command == ECommand::Check
                                 ? "the kinds of URL, comma separated: images, links, resources, frames, media, "
                                   "areas, forms, srcset, refresh, css, or all (default: all)"
                                 : command == ECommand::Fix
                                 ? "the kinds of URL, comma separated: images, links, resources, frames, media, "
                                   "areas, forms, srcset, refresh, css, or all (default: the map's @kinds line, "
                                   "else images,links)"
                                 : "the kinds of URL, comma separated: images, links, resources, frames, media, "
                                   "areas, forms, srcset, refresh, css, or all (default: images,links)")
                          ->option_text("LIST");
        auto* all = sub.add_flag_callback(
            "--all",
            [&options] {
                options.mKinds = UrlKinds::All();
                options.mKindsGiven = true;
            },
            "every kind");
        kinds->excludes(all);
        if (rules) {
            kinds->needs(rules);
            all->needs(rules);
            sub.add_option("--root", options.mRoot,
                           "the folder the map's @document sections are named from (default: the directory "
                           "operand, or a file operand's own folder)")
                ->option_text("DIR")->needs(rules);
        }
    }
    if (command == ECommand::Check) {
        sub.add_option("--root", options.mRoot,
                       "the folder root-relative URLs (\"/...\") start from (default: the directory operand, or "
                       "a file operand's own folder)")
            ->option_text("DIR");
        sub.add_option("--suggest-map", options.mSuggestMap,
                       "write the map that repairs every URL found in another letter case, for fix --map")
            ->option_text("FILE")->check(named);
        sub.add_flag("--anchors", options.mAnchors,
                     "also report a URL's fragment (page.html#name) that its page holds no id or name for");
    }
    CLI::Option* log = nullptr;
    if (!urls) {
        sub.add_option("--base", options.mBase, "document base, removed from the image URLs while parsing")
            ->option_text("TEXT");
        log = sub.add_option("--log", options.mLogPath, "append the parser's trace to FILE (a single input only)")
                  ->option_text("FILE")->check(named);
    }
    if (lists || urls) {
        auto* nul = lists ? sub.add_flag("-0", "end each value with a NUL byte instead of a line feed") : nullptr;
        auto* json = sub.add_flag("--json", "write the values as JSON (docs/cli.md)");
        if (nul) nul->excludes(json->excludes(nul));
    }
    auto* recursive = sub.add_flag("-r,--recursive", options.mRecursive, "read the files under directories");
    if (log) log->excludes(recursive);
    sub.add_option_function<std::string>(
           "--ext",
           [&options](const std::string& list) {
               std::string problem = ReadExtensions(list, options.mExtensions);
               if (!problem.empty()) throw CLI::ValidationError("--ext", problem);
               options.mExtGiven = true;
           },
           urls || command == ECommand::Fix ? "with -r, the name endings to take (default: html,htm; with css "
                                              "for urls, check and fix --map)"
                                            : "with -r, the name endings to take (default: html,htm)")
        ->option_text("LIST");
    if (fix || command == ECommand::Html) {
        sub.add_option("--out", options.mOutDir, "write each result to a file under DIR")
            ->option_text("DIR")->check(named);
    }
    auto* rawText = sub.add_flag("--raw-text",
                                 "SCRIPT, STYLE and other raw-text elements hold text up to their end tag, as in "
                                 "a browser (default: urls, check, fix --map)");
    rawText->excludes(sub.add_flag("--no-raw-text",
                                   "markup inside SCRIPT, STYLE, ... is read as tags (default: the other "
                                   "commands)"));
    sub.add_option("-j,--jobs", options.mJobs, "parse N files at a time (default: the number of cores)")
        ->option_text("N")->check(CLI::Range(1, 1024));
    sub.add_option("FILE", options.mOperands, "the documents (none or \"-\": the standard input)");
}

// The message of a usage error, then where to find help.
int WriteUsageError(const std::string& command, const std::string& message) {
    std::string name = command.empty() ? "kivoparse" : "kivoparse " + command;
    WriteStderr("kivoparse: " + QuoteName(message, false) + "\nTry '" + name + " --help'.\n");
    return kExitUsage;
}

// The words for CLI11, last first. CLI11 reads "--base=" as "--base" and
// takes the next word as its value; a value option written with "=" and
// nothing after it ("--base=$EMPTY" in a script) gets the empty value it
// shows. Words after "--" are operands and stay as they are.
std::vector<std::string> Words(int argc, char** argv) {
    static const char* const kValueOptions[] = {"--base=", "--log=", "--map=", "--images-map=", "--hrefs-map=",
                                                "--ext=", "--out=", "--jobs=", "--kinds=", "--root=",
                                                "--suggest-map=", "--site=", "--site-url="};
    int end = 1;
    while (end < argc && std::string(argv[end]) != "--") ++end;
    std::vector<std::string> words;
    for (int i = argc - 1; i >= 1; --i) {
        std::string word = argv[i];
        bool empty = i < end && std::find_if(std::begin(kValueOptions), std::end(kValueOptions),
                                             [&](const char* o) { return word == o; }) != std::end(kValueOptions);
        if (empty) {
            words.emplace_back();
            word.pop_back();
        }
        words.push_back(std::move(word));
    }
    return words;
}

// The command whose options are made: the first word that names one, or
// for "help COMMAND" the command after it; nullptr when there is none. Only
// that command's options are made, so that "--version", "--help" and every
// run build the least (the other commands keep their names and
// descriptions, which is all the general help shows of them).
const SCommand* CommandOfWords(int argc, char** argv) {
    bool help = false;
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (!help && std::strcmp(argv[i], "help") == 0) {
            help = true;
            continue;
        }
        for (const SCommand& command : kCommands) {
            if (std::strcmp(argv[i], command.mName) == 0) return &command;
        }
        if (help) return nullptr;
    }
    return nullptr;
}

}  // namespace

int UsageError(const SOptions& options, const std::string& message) {
    for (const SCommand& command : kCommands) {
        if (command.mCommand == options.mCommand) return WriteUsageError(command.mName, message);
    }
    return WriteUsageError("", message);
}

int ParseCommandLine(int argc, char** argv, SOptions& options) {
    CLI::App app("kivoparse - parse HTML documents, list and rewrite their image and link URLs", "kivoparse");
    app.set_version_flag("--version", std::string("kivoparse ") + Version());
    app.require_subcommand(0, 1);  // a word that is no command is then named as such
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.footer("Without FILE, or for FILE \"-\", the standard input is read. Exit status: 0 all went well;\n"
               "1 an input could not be read or an output not written; 2 usage error. check: 1 problems\n"
               "found; 3 an input could not be read or an output not written. Manual: docs/cli.md\n");
    CLI::App* help = app.add_subcommand("help", "describe a command");
    std::string helpOn;
    help->add_option("COMMAND", helpOn);
    const SCommand* withOptions = CommandOfWords(argc, argv);
    for (const SCommand& command : kCommands) {
        CLI::App* sub = app.add_subcommand(command.mName, command.mDescription);
        if (&command != withOptions) continue;
        sub->footer(std::string("Example:\n  ") + command.mExample);
        AddOptions(*sub, command.mCommand, options);
    }
    try {
        app.parse(Words(argc, argv));
    } catch (const CLI::Success& done) {  // --help, --version
        return app.exit(done);
    } catch (const CLI::ParseError& error) {
        std::vector<CLI::App*> chosen = app.get_subcommands();
        return WriteUsageError(chosen.empty() ? "" : chosen.front()->get_name(), error.what());
    }
    if (app.get_subcommands().empty()) return WriteUsageError("", CLI::RequiredError("A subcommand").what());
    CLI::App* sub = app.get_subcommands().front();
    if (sub == help) {
        try {
            sub = helpOn.empty() ? &app : app.get_subcommand(helpOn);
        } catch (const CLI::OptionNotFound&) {
            sub = help;
        }
        if (sub == help) return WriteUsageError("", "unknown command " + QuoteName(helpOn, true));
        std::string error, name = sub == &app ? "kivoparse" : "kivoparse " + sub->get_name();
        std::string text = sub->get_formatter()->make_help(sub, name, CLI::AppFormatMode::Normal);
        if (WriteStdout(text, error) != EWriteResult::Failed) return 0;
        WriteStderr("kivoparse: cannot write to standard output: " + error + "\n");
        return 1;
    }
    for (const SCommand& command : kCommands) {
        if (sub->get_name() == command.mName) options.mCommand = command.mCommand;
    }
    if (IsList(options.mCommand) && sub->count("-0")) options.mFormat = EListFormat::Nul;
    if (sub->get_option_no_throw("--json") && sub->count("--json")) options.mFormat = EListFormat::Json;
    options.mHasBase = sub->get_option_no_throw("--base") && sub->count("--base") > 0;
    options.mHasOut = sub->get_option_no_throw("--out") && sub->count("--out") > 0;
    // A rule map edits the URLs in place unless asked to normalise.
    if (options.mCommand == ECommand::Fix && !options.mRuleMap.empty() && !options.mNormalize) options.mKeepBytes = true;
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
