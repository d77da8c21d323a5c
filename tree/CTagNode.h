#pragma once
#include "tree/CParseNode.h"

namespace kivoparse {

class CPropertyNode;

// A tag. Its data is the name as written after "<", upper-cased, with a
// leading "/" for an end tag. Attributes live in mProperties, never among
// the children; a tag gets children only when its end tag closes it.
// bOpen: not yet closed by an end tag; bEndTag: an end tag, or a start tag
// that an end tag closed.
class CTagNode : public CParentNode {
public:
    CTagNode() : CParentNode(KP_NODE_TAG) {}

    // The calls of every node, without the test of its kind.
    bool IsOpen() const { return bOpen; }
    void AppendData(CDocument& document, const char* bytes, std::size_t length) {
        if (mDataSize == 0 && TakeKnownName(bytes, length)) return;
        bKnownName = false;
        document.Append(DataField(), bytes, length, ECase::Upper);
    }
    void SetData(CDocument& document, const char* bytes, std::size_t length) {
        bKnownName = false;
        document.Assign(DataField(), bytes, length, ECase::Upper);
    }
    // The data up to its first NUL; a common name holds none.
    KIVOPARSE_INLINE std::string_view GetName() const {
        const std::string_view data = ViewOf(mDataBytes, mDataSize);
        return bKnownName ? data : UpToNul(data);
    }

    bool IsEndTag() const { return bEndTag; }
    // Whether the name begins with the "/" of an end tag.
    bool StartsWithSlash() const { return (mDataSize & ~kOwnedBytes) != 0 && mDataBytes[0] == '/'; }
    void ClearEndTag() { bEndTag = false; }

    // Marks end tags and sets the type from the tag table; it never resets
    // either, so a second pass over a closed tag changes nothing.
    void ClassifyTag();
    // The number of the common name (see the free KnownNameIndex) that the
    // name is without its leading "/"; -1 when it is none. A tag viewing the
    // table of common names finds the number in the byte before the name's
    // row (before its "/").
    int KnownNameIndex() const {
        if (bKnownName) return static_cast<unsigned char>(mDataBytes[mDataBytes[0] == '/' ? -1 : -2]);
        return KnownNameIndexOfBytes();
    }

    CNodeList* Properties() { return &mProperties; }
    const CNodeList* Properties() const { return &mProperties; }
    CPropertyNode* FindProperty(std::string_view name) const;

private:
    friend class CParseNode;
    // A name with lower-case letters that upper-cases to a common tag's
    // name, with or without its "/", becomes a view of a constant of the
    // program: no bytes stored.
    bool TakeKnownName(const char* bytes, std::size_t length) noexcept;
    int KnownNameIndexOfBytes() const;

    CNodeList mProperties;
};

static_assert(sizeof(void*) != 8 || sizeof(CTagNode) == 48, "tags keep their size on 64-bit machines");


// Tag type codes that the rules act on; 0 is unclassified (and, as a
// filter, any tag).
enum : int {
    KP_TAG_A = 3,
    KP_TAG_BODY = 18,
    KP_TAG_IMG = 57,
    KP_TAG_INPUT = 58,
    KP_TAG_SPAN = 98,
    KP_TAG_STYLE = 101,
    KP_TAG_TD = 106,
};

// The tag table: the code of a tag name (without its "/"), 0 if unknown.
int LookUpTagType(const char* name, std::size_t length);

// The common tag names that tags view instead of storing their own bytes
// (see CTagNode::TakeKnownName), numbered from 0: the number of name (in
// upper case, without a "/"), or -1 when it is none of them ("/P" is none).
// A tag that views one knows its number without this look-up.
constexpr std::size_t kKnownNameCount = 109;
int KnownNameIndex(std::string_view name);

}  // namespace kivoparse
