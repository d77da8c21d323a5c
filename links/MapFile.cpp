// The map file's one reader and one writer: every front end and every map
// (UrlMap, SiteMap, the check's suggested map) goes through these two.
#include <optional>
#include <string>
#include <unordered_set>
#include <utility>

#include <kivoparse/kivoparse.h>

namespace kivoparse {

namespace {

constexpr std::string_view kSectionMark = "@document ";
constexpr std::string_view kKindsMark = "@kinds ";

// value without its trailing "*" read in pairs; whether one was left over.
bool TakeStars(std::string_view value, std::string& out) {
    std::size_t stars = 0;
    while (stars < value.size() && value[value.size() - 1 - stars] == '*') ++stars;
    out.assign(value.substr(0, value.size() - stars));
    out.append(stars / 2, '*');
    return stars % 2 == 1;
}

// value as a rule map line holds it: each "*" at its end doubled, one more
// after a prefix rule's, so that it reads back as itself.
void AppendValue(std::string& text, const std::string& value, bool prefix) {
    const std::size_t stars = value.size() - 1 - value.find_last_not_of('*');  // npos + 1 is 0
    text += value;
    text.append(stars + (prefix ? 1 : 0), '*');
}

[[noreturn]] void BadLine(std::size_t line, const std::string& why) {
    throw MapError(line, "line " + std::to_string(line) + " " + why);
}

// A line's bytes after mark, when it is a mark line (no TAB).
bool IsMarkLine(std::string_view line, std::string_view mark) {
    return line.compare(0, mark.size(), mark) == 0 && line.find('\t') == std::string_view::npos;
}

// The byte order mark and the CR line ends: told, never taken out.
void NoteLineEnds(std::string_view text, MapFile& file) {
    file.byteOrderMark = text.compare(0, 3, "\xEF\xBB\xBF") == 0;
    file.crLfLines = !text.empty() && text.back() == '\r' ? 1 : 0;
    file.lineCount = !text.empty() && text.back() != '\n' ? 1 : 0;
    for (std::size_t end = text.find('\n'); end != std::string_view::npos; end = text.find('\n', end + 1)) {
        file.crLfLines += end > 0 && text[end - 1] == '\r' ? 1 : 0;
        ++file.lineCount;
    }
}

}  // namespace

// A line ends at a line feed or at the end of the text; the text's last
// line feed ends the last line rather than starting an empty one.
MapFile ReadMapFile(std::string_view text, MapFormat format) {
    MapFile file;
    NoteLineEnds(text, file);
    file.lines.reserve(file.lineCount);
    std::optional<std::string> document;  // of the section the lines stand in
    std::size_t number = 0;
    for (std::size_t start = 0; start < text.size();) {
        ++number;
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (format == MapFormat::Sections && IsMarkLine(line, kSectionMark)) {
            document.emplace(line.substr(kSectionMark.size()));
            file.sections.push_back(*document);
            continue;
        }
        if (format != MapFormat::Pairs && IsMarkLine(line, kKindsMark)) {
            // The kinds the map was made for: a note to its user, no pair.
            std::string_view list = line.substr(kKindsMark.size());
            if (!list.empty() && list.back() == '\r') list.remove_suffix(1);
            UrlKinds kinds;
            std::string why;
            if (!UrlKinds::Parse(list, kinds, why)) BadLine(number, "names the kinds wrongly: " + why);
            file.kinds.emplace(list);
            continue;
        }
        const std::size_t tab = line.find('\t');
        if (tab == std::string_view::npos) BadLine(number, "has no TAB; each line must be old value, TAB, new value");
        MapLine pair;
        pair.document = document;
        pair.line = number;
        if (format == MapFormat::Pairs) {
            pair.from.assign(line.substr(0, tab));
            pair.to.assign(line.substr(tab + 1));
        } else {
            pair.prefix = TakeStars(line.substr(0, tab), pair.from);
            const bool rest = TakeStars(line.substr(tab + 1), pair.to);
            if (pair.prefix && pair.from.empty()) {
                BadLine(number, "has an empty prefix; a rule must name the start it replaces");
            }
            if (rest && !pair.prefix) {
                BadLine(number, "ends its new value with '*' but its old value is no prefix rule; write '**' for a '*'");
            }
        }
        file.lines.push_back(std::move(pair));
    }
    return file;
}

std::string WriteMapFile(const MapFile& file) {
    const std::vector<MapLine>& lines = file.lines;
    std::string text;
    if (file.kinds) text.append(kKindsMark).append(*file.kinds).append(1, '\n');
    const std::optional<std::string>* section = nullptr;  // the document of the section written last
    std::unordered_set<std::string> written;  // the documents of the sections written
    // The pairs for every document first, then those of sections.
    for (const bool sectioned : {false, true}) {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const MapLine& pair = lines[i];
            if (pair.document.has_value() != sectioned) continue;
            const std::string number = std::to_string(i + 1);
            if (pair.from.find('\n') != std::string::npos || pair.to.find('\n') != std::string::npos) {
                throw MapError(i + 1, "pair " + number + ": a value holds a line feed, which a map file cannot store");
            }
            if (pair.from.find('\t') != std::string::npos) {
                throw MapError(i + 1, "pair " + number + ": the old value holds a TAB, which a map file cannot store");
            }
            if (pair.document && pair.document->find_first_of("\t\n") != std::string::npos) {
                throw MapError(i + 1, "pair " + number +
                                          ": its document holds a TAB or a line feed, which a map file cannot store");
            }
            if (sectioned && (!section || pair.document != *section)) {
                text.append(kSectionMark).append(*pair.document).append(1, '\n');
                section = &pair.document;
                written.insert(*pair.document);
            }
            AppendValue(text, pair.from, pair.prefix);
            text += '\t';
            AppendValue(text, pair.to, pair.prefix);
            text += '\n';
        }
    }
    for (const std::string& document : file.sections) {
        if (!written.insert(document).second) continue;
        if (document.find_first_of("\t\n") != std::string::npos) {
            throw MapError(0, "the section " + document + " holds a TAB or a line feed, which a map file cannot store");
        }
        text.append(kSectionMark).append(document).append(1, '\n');
    }
    return text;
}

}  // namespace kivoparse
