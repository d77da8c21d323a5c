// Element normalisation: the tag table, and the builder's IMG/TD/STYLE
// attribute rules and design-time attributes, after which the parse's tag
// hook runs (the document base, which links/ defines).
#include <array>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "tree/CNodeList.h"
#include "tree/CPropertyNode.h"
#include "tree/CTagNode.h"
#include "tree/CTreeBuilder.h"

namespace kivoparse {

namespace {

struct STagEntry {
    std::string_view name;
    int type;
};

// Sorted by name (byte order) for the binary search below.
constexpr std::array<STagEntry, 29> kTagTable{{
    {"!--", 29},       {"!DOCTYPE", 2},  {"A", 3},          {"ABBR", 4},      {"ACRONYM", 5},
    {"ADDRESS", 6},    {"APPLET", 7},    {"AREA", 8},       {"AUDIOSCOPE", 9}, {"B", 10},
    {"BASE", 11},      {"BASEFONT", 12}, {"BDO", 13},       {"BGSOUND", 14},  {"BIG", 15},
    {"BLACKFACE", 16}, {"BLINK", 17},    {"BLOCKQUOTE", 18}, {"BODY", 18},     {"BQ", 20},
    {"BR", 21},        {"BUTTON", 22},   {"FONT", 41},      {"IMG", 57},      {"INPUT", 58},
    {"SPAN", 98},      {"STYLE", 101},   {"TD", 106},       {"TR", 112},
}};

constexpr bool IsSorted() {
    for (std::size_t i = 1; i < kTagTable.size(); ++i)
        if (!(kTagTable[i - 1].name < kTagTable[i].name)) return false;
    return true;
}
static_assert(IsSorted(), "the tag table must stay sorted");

// A tag keeps its type in 16 bits, and 0 means none.
constexpr bool TypesFit() {
    for (const STagEntry& entry : kTagTable)
        if (entry.type <= 0 || entry.type > 0xFFFF) return false;
    return true;
}
static_assert(TypesFit(), "tag types are 1 to 65535");

// For each first byte, the entries of the table that begin with it.
struct SEntryRange {
    unsigned char begin = 0;
    unsigned char end = 0;
};

constexpr std::array<SEntryRange, 256> MakeRanges() {
    std::array<SEntryRange, 256> ranges{};
    for (std::size_t i = 0; i < kTagTable.size(); ++i) {
        SEntryRange& range = ranges[static_cast<unsigned char>(kTagTable[i].name[0])];
        if (range.end == 0) range.begin = static_cast<unsigned char>(i);
        range.end = static_cast<unsigned char>(i + 1);
    }
    return ranges;
}

constexpr std::array<SEntryRange, 256> kRangeByFirstByte = MakeRanges();

// The names of common tags, each with the "/" of its end tag in front: a
// tag whose name, written with lower-case letters, upper-cases to one of
// them views the constant (from its "/" or after it) instead of storing
// bytes of its own. At most 8 bytes each way.
constexpr std::array<const char*, kKnownNameCount> kKnownNames{{
    "/A",      "/ABBR",    "/ADDRESS", "/AREA",    "/ARTICLE", "/ASIDE",   "/AUDIO",   "/B",       "/BASE",
    "/BDI",    "/BDO",     "/BIG",     "/BODY",    "/BR",      "/BUTTON",  "/CANVAS",  "/CAPTION", "/CENTER",
    "/CITE",   "/CODE",    "/COL",     "/COLGROUP", "/DATA",   "/DD",      "/DEL",     "/DETAILS", "/DFN",
    "/DIALOG", "/DIV",     "/DL",      "/DT",      "/EM",      "/EMBED",   "/FIELDSET", "/FIGURE", "/FONT",
    "/FOOTER", "/FORM",    "/FRAME",   "/H1",      "/H2",      "/H3",      "/H4",      "/H5",      "/H6",
    "/HEAD",   "/HEADER",  "/HR",      "/HTML",    "/I",       "/IFRAME",  "/IMG",     "/INPUT",   "/INS",
    "/KBD",    "/LABEL",   "/LEGEND",  "/LI",      "/LINK",    "/MAIN",    "/MAP",     "/MARK",    "/MENU",
    "/META",   "/NAV",     "/NOBR",    "/NOSCRIPT", "/OBJECT", "/OL",      "/OPTGROUP", "/OPTION", "/P",
    "/PARAM",  "/PATH",    "/PICTURE", "/PRE",     "/Q",       "/S",       "/SAMP",    "/SCRIPT",  "/SECTION",
    "/SELECT", "/SMALL",   "/SOURCE",  "/SPAN",    "/STRONG",  "/STYLE",   "/SUB",     "/SUMMARY", "/SUP",
    "/SVG",    "/TABLE",   "/TBODY",   "/TD",      "/TEMPLATE", "/TEXTAREA", "/TFOOT", "/TH",      "/THEAD",
    "/TIME",   "/TITLE",   "/TR",      "/TT",      "/U",       "/UL",      "/VAR",     "/VIDEO",   "/WBR",
    "/G",
}};

// A name of up to 8 bytes packed into a word, first byte lowest (a name
// holds no NUL, so no two share a word).
constexpr std::uint64_t PackKnown(const char* name, std::size_t length) {
    std::uint64_t word = 0;
    for (std::size_t i = 0; i < length; ++i) word |= std::uint64_t{static_cast<unsigned char>(name[i])} << (8 * i);
    return word;
}

constexpr std::size_t Length(const char* name) {
    std::size_t length = 0;
    while (name[length]) ++length;
    return length;
}

// The names laid out in one array, a row each: the name's number, then the
// name with its "/", NUL-padded. A tag viewing a name finds the number just
// before it (before its "/" when it has one).
constexpr std::size_t kKnownNameStride = 11;
struct SKnownNames {
    char bytes[kKnownNameCount][kKnownNameStride];
};
constexpr SKnownNames MakeKnownNames() {
    SKnownNames names{};
    for (std::size_t i = 0; i < kKnownNameCount; ++i) {
        names.bytes[i][0] = static_cast<char>(i);
        for (std::size_t j = 0; kKnownNames[i][j]; ++j) names.bytes[i][1 + j] = kKnownNames[i][j];
    }
    return names;
}
constexpr SKnownNames kKnownNameBytes = MakeKnownNames();
static_assert(kKnownNames.size() == kKnownNameCount, "one entry per known name");
static_assert(kKnownNameCount <= 128, "a name's number fits the byte before it");

// The tag type of each known name (0 for none), as the tag table gives it.
constexpr std::array<std::int16_t, kKnownNameCount> MakeKnownTypes() {
    std::array<std::int16_t, kKnownNameCount> types{};
    for (std::size_t i = 0; i < kKnownNameCount; ++i) {
        const std::string_view name(kKnownNames[i] + 1, Length(kKnownNames[i]) - 1);
        for (const STagEntry& entry : kTagTable) {
            if (entry.name == name) types[i] = static_cast<std::int16_t>(entry.type);
        }
    }
    return types;
}
constexpr std::array<std::int16_t, kKnownNameCount> kKnownTypes = MakeKnownTypes();

// A slot of the look-up by word: the name's index, and 1 when the word is
// the name without its "/".
struct SKnownSlot {
    std::uint64_t word;
    std::uint8_t index;
    std::uint8_t skip;
};
constexpr std::size_t kKnownSlotBits = 9;
constexpr std::size_t KnownSlot(std::uint64_t word) {
    return static_cast<std::size_t>((word * 0x9E3779B97F4A7C15u) >> (64 - kKnownSlotBits));
}

// Open addressing, probed in order; a word of 0 marks a free slot.
constexpr std::array<SKnownSlot, std::size_t{1} << kKnownSlotBits> MakeKnownSlots() {
    std::array<SKnownSlot, std::size_t{1} << kKnownSlotBits> slots{};
    for (std::size_t i = 0; i < kKnownNameCount; ++i) {
        const char* name = kKnownNames[i];
        const std::size_t length = Length(name);
        for (std::size_t skip = 0; skip < 2; ++skip) {
            if (length - skip > 8) continue;
            const std::uint64_t word = PackKnown(name + skip, length - skip);
            std::size_t slot = KnownSlot(word);
            while (slots[slot].word != 0) slot = (slot + 1) & (slots.size() - 1);
            slots[slot] = SKnownSlot{word, static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(skip)};
        }
    }
    return slots;
}
constexpr std::array<SKnownSlot, std::size_t{1} << kKnownSlotBits> kKnownSlots = MakeKnownSlots();

// The slot of the name (already in upper case) packed into word, of length
// bytes; null when it is not a known name.
const SKnownSlot* FindKnownSlot(std::uint64_t word, std::size_t length) {
    for (std::size_t slot = KnownSlot(word);; slot = (slot + 1) & (kKnownSlots.size() - 1)) {
        const SKnownSlot& known = kKnownSlots[slot];
        if (known.word == word) {
            return kKnownNameBytes.bytes[known.index][1 + known.skip + length] == '\0' ? &known : nullptr;
        }
        if (known.word == 0) return nullptr;
    }
}

// Whether value is "middle" with ASCII letters in any case.
bool IsMiddle(std::string_view value) {
    constexpr std::string_view kMiddle = "middle";
    if (value.size() != kMiddle.size()) return false;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if ((value[i] | 0x20) != kMiddle[i]) return false;
    }
    return true;
}

}  // namespace

int LookUpTagType(const char* name, std::size_t length) {
    // Only names of 1 to 10 bytes can match; the entries with the same
    // first byte stand together, and the length settles most of them before
    // any bytes are compared.
    if (length == 0 || length > 10) return 0;
    const SEntryRange range = kRangeByFirstByte[static_cast<unsigned char>(name[0])];
    const std::string_view key(name, length);
    for (std::size_t i = range.begin; i < range.end; ++i) {
        if (kTagTable[i].name.size() == length && kTagTable[i].name == key) return kTagTable[i].type;
    }
    return 0;
}

bool CTagNode::TakeKnownName(const char* bytes, std::size_t length) noexcept {
    if (length == 0 || length > 8) return false;
    std::uint64_t word = 0;
    bool lower = false;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    // The bytes as one word, from two loads that may overlap; then the high
    // bit of each byte a to z, and 0x20 off each of those (no byte borrows
    // from the next).
    if (length >= 4) {
        std::uint32_t head, tail;
        std::memcpy(&head, bytes, 4);
        std::memcpy(&tail, bytes + length - 4, 4);
        word = head | std::uint64_t{tail} << (8 * (length - 4));
    } else if (length >= 2) {
        std::uint16_t head, tail;
        std::memcpy(&head, bytes, 2);
        std::memcpy(&tail, bytes + length - 2, 2);
        word = head | std::uint64_t{tail} << (8 * (length - 2));
    } else {
        word = static_cast<unsigned char>(bytes[0]);
    }
    constexpr std::uint64_t kOnes = 0x0101010101010101u, kHighs = kOnes * 0x80;
    const std::uint64_t low7 = word & ~kHighs;
    const std::uint64_t letters = (low7 + kOnes * (0x80 - 'a')) & ~(low7 + kOnes * (0x80 - 'z' - 1)) & ~word & kHighs;
    word -= letters >> 2;
    lower = letters != 0;
#else
    for (std::size_t i = 0; i < length; ++i) {
        auto byte = static_cast<unsigned char>(bytes[i]);
        if (static_cast<unsigned char>(byte - 'a') < 26) {
            byte = static_cast<unsigned char>(byte - ('a' - 'A'));
            lower = true;
        }
        word |= std::uint64_t{byte} << (8 * i);
    }
#endif
    // A name written in upper case stays a view of the text, which tells
    // where the tag was written.
    if (!lower) return false;
    const SKnownSlot* known = FindKnownSlot(word, length);
    if (!known) return false;
    mDataBytes = kKnownNameBytes.bytes[known->index] + 1 + known->skip;
    mDataSize = static_cast<std::uint32_t>(length);
    bKnownName = true;
    return true;
}

int KnownNameIndex(std::string_view name) {
    if (name.empty() || name.size() > 8) return -1;
    const SKnownSlot* known = FindKnownSlot(PackKnown(name.data(), name.size()), name.size());
    return known && known->skip == 1 ? known->index : -1;
}

int CTagNode::KnownNameIndexOfBytes() const {
    std::string_view name = GetName();
    if (!name.empty() && name[0] == '/') name.remove_prefix(1);
    return kivoparse::KnownNameIndex(name);
}

void CTreeBuilder::NormalizeTag(CTagNode& tag) {
    tag.ClassifyTag();
    ApplyPropertyRules(tag);
    ApplyDesignTimeRules(tag);
}

void CParseNode::AppendTagData(CDocument& document, const char* bytes, std::size_t length) {
    static_cast<CTagNode*>(this)->AppendData(document, bytes, length);
}

void CTagNode::ClassifyTag() {
    if (bKnownName) {
        // A common name holds no NUL, and its number gives its type.
        assert(KnownNameIndex() == KnownNameIndexOfBytes());
        if (mDataBytes[0] == '/') bEndTag = true;
        const int type = kKnownTypes[static_cast<std::size_t>(KnownNameIndex())];
        if (type != 0) mSmall = static_cast<std::uint16_t>(type);
        return;
    }
    std::string_view name = UpToNul(ViewOf(mDataBytes, mDataSize));
    if (name.empty()) return;
    if (name[0] == '/') {
        bEndTag = true;
        name.remove_prefix(1);
    }
    const int known = KnownNameIndex();
    const int type = known >= 0 ? kKnownTypes[static_cast<std::size_t>(known)] : LookUpTagType(name.data(), name.size());
    if (type != 0) mSmall = static_cast<std::uint16_t>(type);
}

void CTreeBuilder::ApplyTypeRules(CTagNode& tag) {
    CNodeList& properties = *tag.Properties();
    switch (tag.mSmall) {
    case KP_TAG_IMG: {
        // "src" first, the others in their order.
        if (properties.IsEmpty()) return;
        if (UpToNul(properties.GetFirst()->Name()) == "src") return;
        if (CParseNode* src = properties.FindByName("src")) properties.Prepend(properties.Remove(src));
        return;
    }
    case KP_TAG_TD: {
        CPropertyNode* align = tag.FindProperty("align");
        if (align && IsMiddle(UpToNul(align->Data()))) align->SetData(mDocument, "center", 6);
        return;
    }
    case KP_TAG_STYLE: {
        CPropertyNode* type = tag.FindProperty("type");
        if (!type) {
            NodePtr<CPropertyNode> added = MakeNode<CPropertyNode>(mDocument);
            added->SetStaticName("type");
            added->SetData(mDocument, "text/css", 8);
            properties.Append(added.release());
        } else if (UpToNul(type->Data()).empty()) {
            type->SetData(mDocument, "text/css", 8);
        }
        return;
    }
    default:
        return;
    }
}

void CTreeBuilder::DropDesignTimeProperties(CTagNode& tag) {
    CNodeList& properties = *tag.Properties();
    // One of each design-time attribute goes per pass: the first
    // "DESIGNTIMESP" (else the first "designtimesp") and the first
    // "designtimeurl", found in one walk; shorter names are passed over.
    CParseNode* upperSp = nullptr;
    CParseNode* lowerSp = nullptr;
    CParseNode* designTimeUrl = nullptr;
    for (CParseNode* property = properties.GetFirst(); property; property = property->NextSibling()) {
        if (property->Name().size() < 12) continue;
        const std::string_view name = UpToNul(property->Name());
        if (!upperSp && name == "DESIGNTIMESP") {
            upperSp = property;
        } else if (!lowerSp && name == "designtimesp") {
            lowerSp = property;
        } else if (!designTimeUrl && name == "designtimeurl") {
            designTimeUrl = property;
        }
    }
    if (CParseNode* designTimeSp = upperSp ? upperSp : lowerSp) mDocument.Recycle(properties.Remove(designTimeSp));
    if (designTimeUrl) mDocument.Recycle(properties.Remove(designTimeUrl));

    if (mTagHook) mTagHook->Apply(tag, *this);
}

CPropertyNode* CTagNode::FindProperty(std::string_view name) const {
    return static_cast<CPropertyNode*>(mProperties.FindByName(name));
}

}  // namespace kivoparse
