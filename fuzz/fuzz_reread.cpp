// libFuzzer entry: an output read back gives itself. docs/format.md ("What
// does not read back as itself") lists the ten ways it may not; the check
// leaves out exactly what they need, by these rules:
//   - quote bytes of the input are read as "`", and spaces between a "<"
//     and a "|" are dropped: a value can then hold no double quote (1), and
//     a failed tag cannot read past a later tag inside a quoted value, or up
//     to the "|" of an insert block written without its spaces (2). Values
//     are still read quoted: the output quotes every value, and that is what
//     is read back;
//   - a tag is appended to the input, so that the input ends with a
//     finished construct and nothing before it is lost at the end (3), not
//     even text that decided whether a "<" before it opened a tag (as in
//     "<i =<||> ", where the space makes the tag text);
//   - the "|" of a "<|" in the input whose insert block would be abandoned
//     (a fourth level, or no close before the end) is read as "`", again
//     until no such block is left: no block is then left open, whose "<|"
//     the output would keep and the next reading might close (8);
//   - an output holding "<//" (the closing tag of a closed unmatched end
//     tag, 4) or a "<" that can only come from a nameless value of "<"
//     bytes (5: after a space, before a lower-case name; or at the end of a
//     tag name) is not compared, nor one holding " designtimesp" or
//     " designtimeurl" (6: each reading removes one of a repeated
//     design-time attribute), nor one holding ' ="' after a byte of a
//     lower-case name (7: a bare attribute before a nameless one), nor one
//     holding a space and a line break inside a tag after its name or a
//     '"' (9: the next reading skips a line break there, which began the
//     name of an attribute the element rules brought there), nor one
//     holding fewer "</span" (in any letter case) than the input (10: a
//     SPAN end tag that matched nothing went, and the text on its two sides
//     is one run now).
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/CInsertOracle.h"
#include "kivoparse/kivoparse.h"

namespace {

std::string Reread(const std::string& text) {
    kivoparse::Parser parser;
    parser.ParseHTML(text);
    return parser.GetHTML();
}

bool IsUpperNameByte(char byte) {
    return (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') || byte == '-' || byte == '/' ||
           byte == '\n' || byte == '\r';
}

bool IsLowerNameByte(char byte) {
    return (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') || byte == '-' || byte == '/' ||
           byte == '\n' || byte == '\r';
}

// An attribute name or a tag name that holds "<" bytes: " <<a" up to the
// end of a name ("=", " " or ">"), or "A<<" before " " or ">". Text can look
// the same ("x <1>"); such outputs are left out too.
bool HasNameWithLessThan(const std::string& html) {
    for (std::size_t i = 1; i < html.size(); ++i) {
        if (html[i] != '<') continue;
        std::size_t end = i;
        while (end < html.size() && html[end] == '<') ++end;
        if (html[i - 1] == ' ') {
            while (end < html.size() && IsLowerNameByte(html[end])) ++end;
            if (end < html.size() && (html[end] == '>' || html[end] == ' ' || html[end] == '=')) return true;
        } else if (IsUpperNameByte(html[i - 1]) && end < html.size() && (html[end] == '>' || html[end] == ' ')) {
            return true;
        }
        i = end - 1;
    }
    return false;
}

// A bare attribute name, then an attribute without a name: "a =\"". A tag
// name ending in a digit looks the same ("<H1 =\"v\">").
bool HasBareNameBeforeNameless(const std::string& html) {
    for (std::size_t at = html.find(" =\""); at != std::string::npos; at = html.find(" =\"", at + 1)) {
        if (at > 0 && IsLowerNameByte(html[at - 1])) return true;
    }
    return false;
}

// Inside a tag (after a "<" with no ">" since, outside the quoted values,
// which may hold either), a space and then a line feed or carriage return,
// the space after the tag name or a value's closing '"': there, line breaks
// are skipped as spaces are, while after a bare attribute they begin the
// next name. The input holds no '"', so every '"' of the output opens or
// closes a value. A bare name ending in a digit, "-" or "/" looks the same,
// and so can text ('<x A \n'); such outputs are left out too.
bool HasLineBreakAfterNameOrValue(const std::string& html) {
    bool inTag = false;
    bool inValue = false;
    for (std::size_t at = 0; at < html.size(); ++at) {
        const char byte = html[at];
        if (byte == '"') {
            inValue = !inValue;
        } else if (inValue) {
            continue;
        } else if (byte == '<' || byte == '>') {
            inTag = byte == '<';
        } else if (inTag && byte == ' ' && at > 0 && at + 1 < html.size() &&
                   (html[at + 1] == '\n' || html[at + 1] == '\r') &&
                   (html[at - 1] == '"' || IsUpperNameByte(html[at - 1]))) {
            return true;
        }
    }
    return false;
}

// Reads as "`" the "|" of every "<|" whose block would be abandoned, until
// none is left: one turned off can change the fate of a block before it.
void TurnOffAbandonedInserts(std::string& text) {
    for (bool changed = true; changed;) {
        changed = false;
        const kivoparse::CInsertOracle oracle(reinterpret_cast<const unsigned char*>(text.data()),
                                              static_cast<std::int32_t>(text.size()));
        for (std::size_t bar = text.find("<|"); bar != std::string::npos; bar = text.find("<|", bar + 1)) {
            if (oracle.IsAbandoned(static_cast<std::int32_t>(bar + 1))) {
                text[bar + 1] = '`';
                changed = true;
            }
        }
    }
}

// How many times "</span" stands in text, in any letter case.
std::size_t CountSpanEnds(const std::string& text) {
    static const char kEnd[] = "</span";
    std::size_t count = 0;
    for (std::size_t at = text.find("</"); at != std::string::npos; at = text.find("</", at + 2)) {
        std::size_t i = 2;
        while (i < 6 && at + i < text.size() && (text[at + i] | 0x20) == kEnd[i]) ++i;
        if (i == 6) ++count;
    }
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    for (char& byte : text) {
        if (byte == '"' || byte == '\'') byte = '`';
    }
    for (std::size_t at = text.find('<'); at != std::string::npos; at = text.find('<', at + 1)) {
        const std::size_t end = text.find_first_not_of(' ', at + 1);
        if (end != std::string::npos && end > at + 1 && text[end] == '|') text.erase(at + 1, end - at - 1);
    }
    text += "<P>";
    TurnOffAbandonedInserts(text);
    const std::string first = Reread(text);
    if (first.find("<//") != std::string::npos || HasNameWithLessThan(first) ||
        first.find(" designtimesp") != std::string::npos || first.find(" designtimeurl") != std::string::npos ||
        HasBareNameBeforeNameless(first) || HasLineBreakAfterNameOrValue(first) ||
        CountSpanEnds(first) < CountSpanEnds(text)) {
        return 0;
    }
    if (Reread(first) != first) __builtin_trap();
    return 0;
}
