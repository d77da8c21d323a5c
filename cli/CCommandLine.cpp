// Reading the command line, and the help texts that describe it.
#include "cli/CCommandLine.h"

#include <cstddef>

namespace kivoparse {
namespace cli {

namespace {

struct SCommandName {
    const char* mName;
    ECommand mCommand;
};
constexpr SCommandName kCommands[] = {
    {"html", ECommand::Html},           {"images", ECommand::Images},       {"hrefs", ECommand::Hrefs},
    {"fix-images", ECommand::FixImages}, {"fix-hrefs", ECommand::FixHrefs},
};

constexpr unsigned kMaxJobs = 1024;

bool IsList(ECommand command) { return command == ECommand::Images || command == ECommand::Hrefs; }
bool IsFix(ECommand command) { return command == ECommand::FixImages || command == ECommand::FixHrefs; }

std::string Synopsis(ECommand command) {
    std::string name = CCommandLine::CommandName(command);
    std::string indent(std::string("usage: kivoparse ").size() + name.size() + 1, ' ');
    switch (command) {
        case ECommand::Html:
            return "usage: kivoparse html [--base TEXT] [--log FILE] [-r] [--ext LIST]\n" + indent +
                   "[--out DIR] [-j N] [FILE...]\n";
        case ECommand::Images:
        case ECommand::Hrefs:
            return "usage: kivoparse " + name + " [--base TEXT] [--log FILE] [-0|--json]\n" + indent +
                   "[-r] [--ext LIST] [-j N] [FILE...]\n";
        case ECommand::FixImages:
        case ECommand::FixHrefs:
            return "usage: kivoparse " + name + " --map MAPFILE [--base TEXT] [--log FILE]\n" + indent +
                   "[-r] [--ext LIST] [--out DIR] [-j N] [FILE...]\n";
    }
    return {};
}

const char* kGeneralHelp =
    "kivoparse - parse HTML documents, list and rewrite their image and link URLs\n"
    "\n"
    "usage: kivoparse COMMAND [OPTIONS] [FILE...]\n"
    "       kivoparse COMMAND --help\n"
    "\n"
    "Commands:\n"
    "  html        write each document back as normalised HTML\n"
    "  images      list the image URLs (src of IMG and INPUT, background of any tag)\n"
    "  hrefs       list the link URLs (href of A)\n"
    "  fix-images  rewrite image URLs with the pairs of a map file, write the HTML\n"
    "  fix-hrefs   rewrite link URLs with the pairs of a map file, write the HTML\n"
    "\n"
    "Without FILE, or for FILE \"-\", the standard input is read. Every byte is\n"
    "parsed as it is, NUL bytes included; an input of 2 GiB or more is refused.\n"
    "\n"
    "Exit status: 0 all went well; 1 an input could not be read or an output could\n"
    "not be written (the other inputs are still done); 2 usage error (nothing done).\n"
    "\n"
    "Example:\n"
    "  kivoparse images -r site --json\n"
    "\n"
    "'kivoparse COMMAND --help' describes a command; docs/cli.md is the manual.\n";

const char* kCommonOptions =
    "  --base TEXT   document base: while parsing, every image URL (src of IMG and\n"
    "                INPUT, background of any tag) has its backslashes made slashes\n"
    "                and each occurrence of TEXT (backslashes made slashes too)\n"
    "                removed; links are never changed\n"
    "  --log FILE    append the parser's trace to FILE, one line per step; only with\n"
    "                a single FILE and no -r (several traces would interleave)\n"
    "  -r            read directories: every file under them whose name ends in\n"
    "                .html or .htm (any letter case); symbolic links to\n"
    "                directories are not followed\n"
    "  --ext LIST    with -r, the name endings to take instead, comma separated,\n"
    "                any letter case (default: html,htm)\n";

const char* kOutOption =
    "  --out DIR     write each result to DIR/PATH instead of the standard output,\n"
    "                PATH being the input's path as given, less a leading \"/\" and\n"
    "                leading \"../\" (so -r . mirrors the current directory);\n"
    "                directories are created; each file is written under a\n"
    "                temporary name and renamed, so a good file is never replaced\n"
    "                by a partial one\n";

const char* kJobsOption =
    "  -j N          parse N files at a time (default: the number of cores); the\n"
    "                output keeps the order of the inputs\n"
    "  --help        show this text\n";

const char* kInputsText =
    "Inputs: without FILE, or for FILE \"-\", the standard input. Several FILEs and\n"
    "directories (-r) are done in the order given; the files found in a directory\n"
    "in byte order of their paths. A directory without -r, a file that cannot be\n"
    "read or one of 2 GiB or more is reported on the standard error (name and\n"
    "reason) and the others go on; the exit status is then 1. A progress bar is\n"
    "drawn on the standard error when it is a terminal and there are several files.\n";

std::string CommandHelp(ECommand command) {
    std::string text = Synopsis(command);
    text += "\n";
    switch (command) {
        case ECommand::Html:
            text +=
                "Parses each input and writes it back as HTML: tag names in upper case,\n"
                "attribute names in lower case, every value in double quotes. The output\n"
                "is exactly what the parser writes, nothing added; several inputs without\n"
                "--out are written one after another, nothing between them.\n";
            break;
        case ECommand::Images:
            text +=
                "Lists the image URLs of each input: src of IMG, then src of INPUT, then\n"
                "background of any tag, each value once (letter case ignored, the first\n"
                "spelling kept), in the order first found.\n";
            break;
        case ECommand::Hrefs:
            text +=
                "Lists the link URLs (href of A) of each input, each value once (letter\n"
                "case ignored, the first spelling kept), in the order first found.\n";
            break;
        case ECommand::FixImages:
        case ECommand::FixHrefs:
            text += std::string("Parses each input, replaces every ") +
                    (command == ECommand::FixImages ? "image URL (src of IMG and INPUT, background)"
                                                    : "link URL (href of A)") +
                    "\n"
                    "whose whole value equals an old value of MAPFILE, letter case ignored,\n"
                    "with its new value (the first matching pair decides), and writes the\n"
                    "HTML as 'html' does.\n";
            break;
    }
    text += "\nOptions:\n";
    if (IsFix(command)) {
        text +=
            "  --map MAPFILE one pair per line: old value, TAB, new value; lines end with\n"
            "                \"\\n\" and an empty last line is ignored. The first TAB splits;\n"
            "                all other bytes (a CR too) belong to the values. A line\n"
            "                without a TAB is a usage error naming the line; nothing is\n"
            "                written then. \"-\" reads the pairs from the standard input\n";
    }
    text += kCommonOptions;
    if (IsList(command)) {
        text +=
            "  -0            end each value with a NUL byte instead of a line feed\n"
            "  --json        write the values as JSON (below)\n";
    } else {
        text += kOutOption;
    }
    text += kJobsOption;
    text += "\n";
    if (IsList(command)) {
        text +=
            "Output: one input: each value and a line feed (-0: a NUL byte). With several\n"
            "FILEs or -r: each value as FILE, TAB, value, line feed (-0: FILE, NUL, value,\n"
            "NUL); an input without values writes nothing. --json: one input gives one\n"
            "array and a line feed, [\"a.gif\", \"b.gif\"]; several give one line per input\n"
            "read, {\"file\": \"x.html\", \"values\": [\"a.gif\"]}. In JSON strings valid\n"
            "UTF-8 passes unchanged, \" and \\ are escaped, control bytes are written as\n"
            "\\n, \\t, \\u0000 and the like, and each byte that is not part of valid UTF-8\n"
            "as \\udcXX, a lone surrogate holding the byte (XX from 80 to ff), which no\n"
            "valid text produces: the bytes come back exactly (in Python:\n"
            "json.loads(line) then .encode(\"utf-8\", \"surrogateescape\")).\n"
            "\n";
    }
    text += kInputsText;
    text += "\nExample:\n";
    switch (command) {
        case ECommand::Html: text += "  kivoparse html -r site --out clean\n"; break;
        case ECommand::Images: text += "  kivoparse images --base 'C:\\web\\' page.html\n"; break;
        case ECommand::Hrefs: text += "  kivoparse hrefs -0 -r site | xargs -0 -n 2 printf '%s -> %s\\n'\n"; break;
        case ECommand::FixImages: text += "  kivoparse fix-images --map renamed.tsv -r . --out ../fixed\n"; break;
        case ECommand::FixHrefs: text += "  kivoparse fix-hrefs --map links.tsv page.html > page-fixed.html\n"; break;
    }
    return text;
}

// Splits "html,HTM,.shtml" into lower-case endings without dots.
bool ParseExtensions(const std::string& list, std::vector<std::string>& out, std::string& message) {
    out.clear();
    std::string::size_type start = 0;
    for (;;) {
        std::string::size_type comma = list.find(',', start);
        std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!item.empty() && item[0] == '.') item.erase(0, 1);
        if (item.empty() || item.find('/') != std::string::npos || item.find('\0') != std::string::npos) {
            message = "--ext wants a comma-separated list of name endings such as html,htm; got '" + list + "'";
            return false;
        }
        for (char& c : item) {
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        }
        out.push_back(item);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return true;
}

bool ParseJobs(const std::string& text, unsigned& jobs, std::string& message) {
    unsigned long value = 0;
    bool ok = !text.empty() && text.size() <= 5;
    for (char c : text) {
        if (c < '0' || c > '9') ok = false;
        else value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    if (!ok || value < 1 || value > kMaxJobs) {
        message = "-j wants a number of workers from 1 to " + std::to_string(kMaxJobs) + "; got '" + text + "'";
        return false;
    }
    jobs = static_cast<unsigned>(value);
    return true;
}

// Checks that go beyond single options: which command takes which option,
// and the combinations that cannot work.
bool CheckCombinations(const SOptions& options, std::string& message) {
    const std::string name = CCommandLine::CommandName(options.mCommand);
    if (options.mFormat != EListFormat::Lines && !IsList(options.mCommand)) {
        message = std::string("option ") + (options.mFormat == EListFormat::Nul ? "-0" : "--json") +
                  " is not used by '" + name + "' (only by images and hrefs)";
        return false;
    }
    if (options.mHasOut && IsList(options.mCommand)) {
        message = "option --out is not used by '" + name + "' (the lists go to the standard output)";
        return false;
    }
    if (options.mHasMap && !IsFix(options.mCommand)) {
        message = "option --map is not used by '" + name + "' (only by fix-images and fix-hrefs)";
        return false;
    }
    if (!options.mHasMap && IsFix(options.mCommand)) {
        message = "'" + name + "' needs --map MAPFILE";
        return false;
    }
    if (options.mHasLog && (options.mOperands.size() > 1 || options.mRecursive)) {
        message = "--log takes a single input: the traces of several documents would interleave in one file";
        return false;
    }
    std::size_t stdinCount = options.mOperands.empty() ? 1 : 0;
    for (const std::string& operand : options.mOperands) {
        if (operand == "-") ++stdinCount;
    }
    if (stdinCount > 1) {
        message = "the standard input (\"-\") can be read only once";
        return false;
    }
    if (options.mHasOut && stdinCount > 0) {
        message = "--out needs named input files: the standard input has no path to write under DIR";
        return false;
    }
    if (options.mHasMap && options.mMapPath == "-" && stdinCount > 0) {
        message = "--map - reads the pairs from the standard input, so the documents must be named FILEs";
        return false;
    }
    if (options.mHasOut && options.mOutDir.empty()) {
        message = "--out wants a directory name";
        return false;
    }
    return true;
}

}  // namespace

const char* CCommandLine::CommandName(ECommand command) {
    for (const SCommandName& entry : kCommands) {
        if (entry.mCommand == command) return entry.mName;
    }
    return "";
}

std::string CCommandLine::HelpText(bool hasCommand, ECommand command) {
    return hasCommand ? CommandHelp(command) : std::string(kGeneralHelp);
}

std::string CCommandLine::UsageText(bool hasCommand, ECommand command) {
    if (!hasCommand) {
        return "usage: kivoparse html|images|hrefs|fix-images|fix-hrefs [OPTIONS] [FILE...]\n"
               "Try 'kivoparse --help'.\n";
    }
    return Synopsis(command) + "Try 'kivoparse " + CommandName(command) + " --help'.\n";
}

SParseResult CCommandLine::Parse(const std::vector<std::string>& args) {
    SParseResult result;
    if (args.empty()) {
        result.mMessage = "no command given";
        return result;
    }
    const std::string& first = args[0];
    if (first == "--help" || first == "-h" || first == "help") {
        result.mOutcome = EParseOutcome::Help;
        if (first == "help" && args.size() > 1) {
            for (const SCommandName& entry : kCommands) {
                if (args[1] == entry.mName) {
                    result.mHasCommand = true;
                    result.mOptions.mCommand = entry.mCommand;
                }
            }
            if (!result.mHasCommand) {
                result.mOutcome = EParseOutcome::UsageError;
                result.mMessage = "unknown command '" + args[1] + "'";
            }
        }
        return result;
    }
    if (first == "--version") {
        result.mOutcome = EParseOutcome::Version;
        return result;
    }
    for (const SCommandName& entry : kCommands) {
        if (first == entry.mName) {
            result.mHasCommand = true;
            result.mOptions.mCommand = entry.mCommand;
        }
    }
    if (!result.mHasCommand) {
        result.mMessage = "unknown command '" + first + "'";
        return result;
    }

    // A --help anywhere wins over every other word, right or wrong.
    for (std::size_t i = 1; i < args.size() && args[i] != "--"; ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            result.mOutcome = EParseOutcome::Help;
            return result;
        }
    }

    SOptions& options = result.mOptions;
    std::string& message = result.mMessage;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg == "-" || arg.empty() || arg[0] != '-') {
            options.mOperands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }

        // Long options take their value as "--name=value" or as the next word.
        if (arg.compare(0, 2, "--") == 0) {
            std::string name = arg;
            std::string value;
            bool hasValue = false;
            std::string::size_type eq = arg.find('=');
            if (eq != std::string::npos) {
                name = arg.substr(0, eq);
                value = arg.substr(eq + 1);
                hasValue = true;
            }
            if (name == "--json" || name == "--recursive") {
                if (hasValue) {
                    message = "option " + name + " takes no value";
                    return result;
                }
                if (name == "--recursive") {
                    options.mRecursive = true;
                } else if (options.mFormat == EListFormat::Nul) {
                    message = "-0 and --json exclude each other";
                    return result;
                } else {
                    options.mFormat = EListFormat::Json;
                }
                continue;
            }
            if (name != "--base" && name != "--log" && name != "--map" && name != "--ext" && name != "--out" &&
                name != "--jobs") {
                message = "unknown option '" + name + "'";
                return result;
            }
            if (!hasValue) {
                if (i + 1 >= args.size()) {
                    message = "option " + name + " needs a value";
                    return result;
                }
                value = args[++i];
            }
            if (name == "--base") {
                options.mHasBase = true;
                options.mBase = value;
            } else if (name == "--log") {
                if (value.empty()) {
                    message = "--log wants a file name";
                    return result;
                }
                options.mHasLog = true;
                options.mLogPath = value;
            } else if (name == "--map") {
                if (value.empty()) {
                    message = "--map wants a file name";
                    return result;
                }
                options.mHasMap = true;
                options.mMapPath = value;
            } else if (name == "--ext") {
                if (!ParseExtensions(value, options.mExtensions, message)) return result;
            } else if (name == "--out") {
                options.mHasOut = true;
                options.mOutDir = value;
            } else if (!ParseJobs(value, options.mJobs, message)) {
                return result;
            }
            continue;
        }

        // Short options: "-0", "-r" and "-j N" / "-jN", bundled as "-r0j4" if liked.
        for (std::size_t k = 1; k < arg.size(); ++k) {
            char letter = arg[k];
            if (letter == 'r') {
                options.mRecursive = true;
            } else if (letter == '0') {
                if (options.mFormat == EListFormat::Json) {
                    message = "-0 and --json exclude each other";
                    return result;
                }
                options.mFormat = EListFormat::Nul;
            } else if (letter == 'j') {
                std::string value = arg.substr(k + 1);
                if (value.empty()) {
                    if (i + 1 >= args.size()) {
                        message = "option -j needs a value";
                        return result;
                    }
                    value = args[++i];
                }
                if (!ParseJobs(value, options.mJobs, message)) return result;
                break;
            } else {
                message = std::string("unknown option '-") + letter + "'";
                return result;
            }
        }
    }

    if (!CheckCombinations(options, message)) return result;
    result.mOutcome = EParseOutcome::Run;
    return result;
}

}  // namespace cli
}  // namespace kivoparse
