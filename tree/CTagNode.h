#pragma once
#include "tree/CParseNode.h"

namespace kivoparse {

class CPropertyNode;

// A tag. Its data is the name as written after "<", upper-cased, with a
// leading "/" for an end tag. Attributes live in mProperties, never among
// the children; a tag gets children only when its end tag closes it.
class CTagNode : public CParseNode {
public:
    CTagNode();

    bool IsOpen() const override { return bOpen; }
    void Normalize() override;
    void AppendData(const char* bytes, unsigned int length) override;
    void SetData(const char* bytes, unsigned int length) override;
    const char* GetName() const override { return mData.c_str(); }
    // Properties go to the property list; anything else to the children.
    void AddChild(std::unique_ptr<CParseNode> node, bool atEnd) override;
    ~CTagNode() override;

    bool IsEndTag() const { return bEndTag; }
    void ClearEndTag() { bEndTag = false; }
    // Closes this start tag with its end tag, which it destroys.
    void CloseWithEndTag(std::unique_ptr<CTagNode> endTag);

    void ClassifyTag();
    void ApplyPropertyRules();
    void ApplyDesignTimeRules();

    CNodeList* Properties() const { return mProperties.get(); }
    CPropertyNode* FindProperty(const char* name) const;

    // The tag's own parts of the subtree operations; the walk is the base's.
    void WriteStart(std::string& out) const;
    void WriteEnd(std::string& out) const;
    void DumpStart(std::FILE* out) const;
    void DumpEnd(std::FILE* out) const;

    bool bOpen = true;
    bool bEndTag = false;

private:
    friend class CParseNode;
    std::unique_ptr<CNodeList> mProperties;
};

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

}  // namespace kivoparse
