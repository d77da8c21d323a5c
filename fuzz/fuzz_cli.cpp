// libFuzzer entry for the command-line tool's own reading and writing of
// words. The input is the words of a command line, separated by NUL bytes.
//   - the command line is read without a crash, ending in a status of 0, 1
//     or 2, or in options to run with: a command, jobs from 1 to 1024 (or
//     0, one per core), endings of lower-case bytes without "/" or NUL;
//   - each word, quoted for a message, reads back as itself the way a shell
//     reads $'...', and holds no control byte;
//   - each word as a JSON string holds no control byte and no byte of
//     invalid UTF-8, and reads back as itself, "\udcXX" standing for the
//     byte XX.
#include <fcntl.h>
#include <sanitizer/common_interface_defs.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/CCommandLine.h"
#include "cli/ValueFormat.h"

namespace {

void Fail(int line) {
    std::fprintf(stderr, "fuzz_cli.cpp:%d: check failed\n", line);
    __builtin_trap();
}
#define Expect(...) ((__VA_ARGS__) ? void() : Fail(__LINE__))

int Hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The bytes a shell reads from $'...' as QuoteName writes it.
std::string ShellWord(const std::string& quoted) {
    Expect(quoted.size() >= 3 && quoted.compare(0, 2, "$'") == 0 && quoted.back() == '\'');
    static const std::string kLetters = "abtnvfr";
    std::string out;
    for (std::size_t i = 2; i + 1 < quoted.size(); ++i) {
        if (quoted[i] != '\\') {
            Expect(quoted[i] != '\'');  // a quote inside is always escaped
            out += quoted[i];
            continue;
        }
        const char c = quoted[++i];
        Expect(i + 1 < quoted.size());
        if (c == '\\' || c == '\'') {
            out += c;
        } else if (kLetters.find(c) != std::string::npos) {
            out += static_cast<char>(7 + kLetters.find(c));
        } else {
            Expect(i + 3 < quoted.size() && c >= '0' && c <= '3');
            out += static_cast<char>((c - '0') * 64 + (quoted[i + 1] - '0') * 8 + (quoted[i + 2] - '0'));
            i += 2;
        }
    }
    return out;
}

// The bytes of a JSON string as AppendJsonString writes it: its escapes
// read, "\udcXX" as the byte XX. It writes "\u" only for those and for the
// control bytes; every other character stands as its UTF-8.
std::string JsonBytes(const std::string& json) {
    Expect(json.size() >= 2 && json.front() == '"' && json.back() == '"');
    std::string out;
    for (std::size_t i = 1; i + 1 < json.size(); ++i) {
        const auto c = static_cast<unsigned char>(json[i]);
        Expect(c >= 0x20 && c != 0x7F && c != '"');
        if (c != '\\') {
            out += static_cast<char>(c);
            continue;
        }
        const char e = json[++i];
        static const std::string kShort = "\"\\/bfnrt", kMeant = std::string("\"\\/\b\f\n\r\t", 8);
        if (kShort.find(e) != std::string::npos) {
            out += kMeant[kShort.find(e)];
            continue;
        }
        Expect(e == 'u' && i + 5 < json.size());
        unsigned code = 0;
        for (int k = 1; k <= 4; ++k) {
            const int digit = Hex(json[i + static_cast<std::size_t>(k)]);
            Expect(digit >= 0);
            code = code * 16 + static_cast<unsigned>(digit);
        }
        i += 4;
        Expect(code < 0x20 || code == 0x7F || (code >= 0xDC80 && code <= 0xDCFF));
        out += static_cast<char>(code < 0x80 ? code : code - 0xDC00);
    }
    return out;
}

// Whether text is valid UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool ValidUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t length = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
        if ((c >= 0x80 && c < 0xC2) || c > 0xF4 || text.size() - i < length) return false;
        unsigned code = length == 1 ? c : c & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = code << 6 | (next & 0x3F);
        }
        static const unsigned kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kLeast[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return false;
        i += length;
    }
    return true;
}

// The messages of a bad command line go where no one reads them.
struct SQuietStreams {
    int mOut = ::dup(1), mErr = ::dup(2);
    SQuietStreams() {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::close(null);
    }
    ~SQuietStreams() {
        ::dup2(mOut, 1);
        ::dup2(mErr, 2);
        ::close(mOut);
        ::close(mErr);
    }
};

}  // namespace

// A sanitizer's report still reaches the standard error while the tool's
// messages are sent away.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    __sanitizer_set_report_fd(reinterpret_cast<void*>(static_cast<std::intptr_t>(::dup(2))));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> words{"kivoparse"};
    const std::string input(reinterpret_cast<const char*>(data), size);
    for (std::size_t start = 0; start <= input.size() && words.size() < 24;) {
        const std::size_t end = std::min(input.find('\0', start), input.size());
        words.push_back(input.substr(start, end - start));
        start = end + 1;
    }
    for (const std::string& word : words) {
        // Shown as it is: printable ASCII and valid UTF-8 but for the C1 controls.
        bool printable = ValidUtf8(word);
        for (std::size_t i = 0; i < word.size(); ++i) {
            const auto c = static_cast<unsigned char>(word[i]);
            printable = printable && c >= 0x20 && c != 0x7F &&
                        !(c == 0xC2 && i + 1 < word.size() && static_cast<unsigned char>(word[i + 1]) < 0xA0);
        }
        for (bool quoted : {false, true}) {
            const std::string shown = kivoparse::cli::QuoteName(word, quoted);
            for (const char c : shown) Expect(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
            Expect(ValidUtf8(shown));
            if (printable && !(quoted && word.find('\'') != std::string::npos)) {
                Expect(shown == (quoted ? "'" + word + "'" : word));
            } else {
                Expect(ShellWord(shown) == word);
            }
        }
        std::string json;
        kivoparse::cli::AppendJsonString(json, word);
        Expect(ValidUtf8(json) && JsonBytes(json) == word);
    }

    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(&word[0]);
    argv.push_back(nullptr);
    kivoparse::cli::SOptions options;
    int status;
    {
        SQuietStreams quiet;
        status = kivoparse::cli::ParseCommandLine(static_cast<int>(words.size()), argv.data(), options);
    }
    Expect(status == -1 || status == 0 || status == 1 || status == 2);
    if (status == -1) {
        Expect(options.mJobs <= 1024 && !options.mExtensions.empty());
        for (const std::string& ending : options.mExtensions) {
            Expect(!ending.empty() && ending.find_first_of(std::string("/\0", 2)) == std::string::npos);
            for (const char c : ending) Expect(!(c >= 'A' && c <= 'Z'));
        }
    }
    return 0;
}
