// Reading the command line, and the help texts that describe it. CLI11
// reads the words; a short pass before it settles the few places where this
// tool's fixed command line reads differently.
#include "cli/CCommandLine.h"

#include "cli/ValueFormat.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstddef>
#include <functional>

namespace kivoparse {
namespace cli {

namespace {

constexpr const char* kCommandNames[] = {"html", "images", "hrefs", "fix-images", "fix-hrefs"};
constexpr ECommand kCommands[] = {ECommand::Html, ECommand::Images, ECommand::Hrefs, ECommand::FixImages,
                                  ECommand::FixHrefs};
constexpr unsigned kMaxJobs = 1024;

const char* CommandName(ECommand command) { return kCommandNames[static_cast<int>(command)]; }

bool FindCommand(const std::string& name, ECommand& command) {
    for (ECommand candidate : kCommands) {
        if (name == CommandName(candidate)) {
            command = candidate;
            return true;
        }
    }
    return false;
}

bool IsList(ECommand command) { return command == ECommand::Images || command == ECommand::Hrefs; }
bool IsFix(ECommand command) { return command == ECommand::FixImages || command == ECommand::FixHrefs; }

// The texts of cli/help.txt, built in.
const char kHelpFile[] =
#include "HelpText.inc"
    ;

// The text [name] of the help file, each line "{other}" replaced by the text other.
std::string Text(const std::string& name) {
    const std::string file = kHelpFile;
    std::size_t start = file.find("\n[" + name + "]\n") + name.size() + 4;
    std::size_t end = std::min(file.find("\n[", start - 1), file.size() - 1) + 1;
    std::string text;
    for (std::size_t eol = start; start < end; start = eol) {
        eol = file.find('\n', start) + 1;
        text += file[start] == '{' ? Text(file.substr(start + 1, eol - start - 3)) : file.substr(start, eol - start);
    }
    return text;
}

// A usage error. CLI11 calls back as it reads each word, so throwing this
// from a callback reports the first wrong word, as a reader would expect.
struct SUsageError {
    std::string mMessage;
};

// Starts a word that stands for an error the pre-pass found: CLI11 sets it
// aside as an unknown option, in its place among the other errors.
const std::string kErrorMark = "--\x01";

std::string UnknownOption(const std::string& word) {
    if (word.compare(0, kErrorMark.size(), kErrorMark) == 0) return word.substr(kErrorMark.size());
    return "unknown option " +
           QuoteName(word.compare(0, 2, "--") == 0 ? word.substr(0, word.find('=')) : word.substr(0, 2), true);
}

bool TakesValue(const std::string& name) {
    for (const char* option : {"--base", "--log", "--map", "--ext", "--out", "--jobs"}) {
        if (name == option) return true;
    }
    return false;
}

// Settles, before CLI11 sees the words, where the fixed command line reads
// differently from CLI11: a "--help" or "-h" anywhere before "--" asks for
// help whatever else is wrong; "--base=" is an empty value (CLI11 would take
// the next word); "--json=x" is an error (CLI11 would read x as a truth
// value), reported in its place; and the words after the "--" that ends the options are cut off and
// returned, so that any word left that starts with "-" and that CLI11 does
// not know, "-1" included, is an unknown option.
std::vector<std::string> PrePass(std::vector<std::string>& words, bool& help) {
    for (std::size_t i = 0; i < words.size() && words[i] != "--"; ++i) {
        if (words[i] == "--help" || words[i] == "-h") help = true;
    }
    if (help) return {};
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (words[i] == "--") {
            std::vector<std::string> operands(words.begin() + static_cast<std::ptrdiff_t>(i) + 1, words.end());
            words.resize(i);
            return operands;
        }
        std::string name = words[i].substr(0, words[i].find('='));
        std::size_t size = words[i].size();
        if (words[i].compare(0, 2, "--") != 0) {
            std::size_t j = words[i].find('j');
            std::size_t dash = words[i].find('-', 1);
            if (size < 2 || words[i][0] != '-') continue;
            if (dash < j) {  // "-r-": CLI11 would read "-r --"
                words[i].resize(dash);
                words.insert(words.begin() + static_cast<std::ptrdiff_t>(++i), kErrorMark + "unknown option '--'");
            } else if (j == size - 1) {
                ++i;  // "-j N", "-r0j N"
            }
        } else if (TakesValue(name)) {
            if (size == name.size()) {
                ++i;  // the value is the next word, whatever it looks like
            } else if (size == name.size() + 1) {
                words[i] = name;
                words.insert(words.begin() + static_cast<std::ptrdiff_t>(++i), std::string());
            }
        } else if ((name == "--json" || name == "--recursive") && size > name.size()) {
            words[i] = kErrorMark + "option " + name + " takes no value";
        }
    }
    return {};
}

// Splits "html,HTM,.shtml" into lower-case endings without dots.
std::vector<std::string> ParseExtensions(const std::string& list) {
    std::vector<std::string> endings;
    std::string::size_type start = 0;
    for (;;) {
        std::string::size_type comma = list.find(',', start);
        std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!item.empty() && item[0] == '.') item.erase(0, 1);
        if (item.empty() || item.find('/') != std::string::npos || item.find('\0') != std::string::npos) {
            throw SUsageError{"--ext wants a comma-separated list of name endings such as html,htm; got " +
                              QuoteName(list, true)};
        }
        for (char& c : item) {
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        }
        endings.push_back(item);
        if (comma == std::string::npos) return endings;
        start = comma + 1;
    }
}

unsigned ParseJobs(const std::string& text) {
    unsigned long value = 0;
    bool ok = !text.empty() && text.size() <= 5;
    for (char c : text) {
        if (c < '0' || c > '9') ok = false;
        else value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    if (!ok || value < 1 || value > kMaxJobs) {
        throw SUsageError{"-j wants a number of workers from 1 to " + std::to_string(kMaxJobs) + "; got " +
                          QuoteName(text, true)};
    }
    return static_cast<unsigned>(value);
}

// The options of every command are read alike; which command may use which
// is checked afterwards, with messages that name the command.
void ReadWords(std::vector<std::string> words, SOptions& options) {
    CLI::App app;
    app.set_help_flag();
    app.validate_positionals();
    // CLI11 keeps unknown options for the end; each check looks at them
    // first, so that an unknown option before a bad value is the one reported.
    auto check = [&app](CLI::Option* option, std::function<void(const std::string&)> read) {
        option->trigger_on_parse()->check(CLI::Validator(
            [&app, read](std::string& value) {
                if (!app.remaining().empty()) throw SUsageError{UnknownOption(app.remaining().front())};
                read(value);
                return std::string();
            },
            ""));
    };
    bool nul = false;
    bool json = false;
    app.add_option("--base", options.mBase);
    check(app.add_option("--log"), [&](const std::string& v) {
        if (v.empty()) throw SUsageError{"--log wants a file name"};
        options.mLogPath = v;
    });
    check(app.add_option("--map"), [&](const std::string& v) {
        if (v.empty()) throw SUsageError{"--map wants a file name"};
        options.mMapPath = v;
    });
    check(app.add_option("--ext"), [&](const std::string& v) { options.mExtensions = ParseExtensions(v); });
    app.add_option("--out", options.mOutDir);
    check(app.add_option("-j,--jobs"), [&](const std::string& v) { options.mJobs = ParseJobs(v); });
    app.add_flag("-r,--recursive", options.mRecursive);
    auto exclusive = [](const bool& other) {
        return [&other](const std::string&) {
            if (other) throw SUsageError{"-0 and --json exclude each other"};
        };
    };
    check(app.add_flag("-0", nul), exclusive(json));
    check(app.add_flag("--json", json), exclusive(nul));
    check(app.add_option("FILE", options.mOperands), [](const std::string& v) {
        if (v.size() > 1 && v[0] == '-') throw SUsageError{UnknownOption(v)};
    });
    for (const char* name : {"--base", "--out"}) app.get_option(name)->trigger_on_parse();

    std::string last = words.empty() ? std::string() : words.back();
    std::reverse(words.begin(), words.end());  // CLI11 takes the words last first
    try {
        app.parse(words);
    } catch (const CLI::ArgumentMismatch&) {
        if (!app.remaining().empty()) throw SUsageError{UnknownOption(app.remaining().front())};
        // Only the last word can lack its value.
        throw SUsageError{"option " + (last.compare(0, 2, "--") == 0 ? last : std::string("-j")) + " needs a value"};
    } catch (const CLI::ExtrasError&) {
        throw SUsageError{UnknownOption(app.remaining().front())};
    }
    options.mFormat = nul ? EListFormat::Nul : json ? EListFormat::Json : EListFormat::Lines;
    options.mHasBase = app.count("--base") > 0;
    options.mHasOut = app.count("--out") > 0;
}

// Checks that go beyond single options: which command takes which option,
// and the combinations that cannot work.
void CheckCombinations(const SOptions& options) {
    const std::string name = CommandName(options.mCommand);
    if (options.mFormat != EListFormat::Lines && !IsList(options.mCommand)) {
        throw SUsageError{std::string("option ") + (options.mFormat == EListFormat::Nul ? "-0" : "--json") +
                          " is not used by '" + name + "' (only by images and hrefs)"};
    }
    if (options.mHasOut && IsList(options.mCommand)) {
        throw SUsageError{"option --out is not used by '" + name + "' (the lists go to the standard output)"};
    }
    if (!options.mMapPath.empty() && !IsFix(options.mCommand)) {
        throw SUsageError{"option --map is not used by '" + name + "' (only by fix-images and fix-hrefs)"};
    }
    if (options.mMapPath.empty() && IsFix(options.mCommand)) throw SUsageError{"'" + name + "' needs --map MAPFILE"};
    if (!options.mLogPath.empty() && (options.mOperands.size() > 1 || options.mRecursive)) {
        throw SUsageError{"--log takes a single input: the traces of several documents would interleave in one file"};
    }
    std::size_t stdinCount = options.mOperands.empty() ? 1 : 0;
    for (const std::string& operand : options.mOperands) stdinCount += operand == "-" ? 1 : 0;
    if (stdinCount > 1) throw SUsageError{"the standard input (\"-\") can be read only once"};
    if (options.mHasOut && stdinCount > 0) {
        throw SUsageError{"--out needs named input files: the standard input has no path to write under DIR"};
    }
    if (options.mMapPath == "-" && stdinCount > 0) {
        throw SUsageError{"--map - reads the pairs from the standard input, so the documents must be named FILEs"};
    }
    if (options.mHasOut && options.mOutDir.empty()) throw SUsageError{"--out wants a directory name"};
}

}  // namespace

std::string HelpText(bool hasCommand, ECommand command) { return Text(hasCommand ? CommandName(command) : "general"); }

std::string UsageText(bool hasCommand, ECommand command) {
    if (!hasCommand) return Text("usage");
    return Text(std::string("synopsis-") + CommandName(command)) + "Try 'kivoparse " + CommandName(command) + " --help'.\n";
}

SParseResult ParseCommandLine(std::vector<std::string> args) {
    SParseResult result;
    if (args.empty()) {
        result.mMessage = "no command given";
        return result;
    }
    const std::string first = args[0];
    if (first == "--version") {
        result.mOutcome = EParseOutcome::Version;
        return result;
    }
    bool help = first == "--help" || first == "-h" || first == "help";
    bool helpOnCommand = first == "help" && args.size() > 1;  // "help html"
    const std::string& name = helpOnCommand ? args[1] : first;
    result.mHasCommand = FindCommand(name, result.mOptions.mCommand);
    if (help && !helpOnCommand) {
        result.mOutcome = EParseOutcome::Help;
        return result;
    }
    if (!result.mHasCommand) {
        result.mMessage = "unknown command " + QuoteName(name, true);
        return result;
    }
    args.erase(args.begin(), args.begin() + (helpOnCommand ? 2 : 1));
    try {
        std::vector<std::string> operands = PrePass(args, help);
        if (help) {
            result.mOutcome = EParseOutcome::Help;
            return result;
        }
        ReadWords(std::move(args), result.mOptions);
        result.mOptions.mOperands.insert(result.mOptions.mOperands.end(), operands.begin(), operands.end());
        CheckCombinations(result.mOptions);
    } catch (const SUsageError& error) {
        result.mMessage = error.mMessage;
        return result;
    }
    result.mOutcome = EParseOutcome::Run;
    return result;
}

}  // namespace cli
}  // namespace kivoparse
