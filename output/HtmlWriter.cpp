// The HTML writer and the dump: each node writes its own parts; the walk
// over the subtree is iterative (see WalkTree), so depth costs no stack.
#include "engine/CParsingEngine.h"
#include "tree/CNodeList.h"
#include "tree/CPropertyNode.h"
#include "tree/CTagNode.h"
#include "tree/TreeWalk.h"

namespace kivoparse {

namespace {

// Prints bytes as "%s" would print them as a C string: up to the first NUL.
void PrintC(std::FILE* file, std::string_view bytes) {
    const std::string_view text = UpToNul(bytes);
    if (!text.empty()) std::fwrite(text.data(), 1, text.size(), file);
}

}  // namespace

std::string CParsingEngine::GetHTML() {
    std::string out;
    const auto capacity = static_cast<std::size_t>(static_cast<double>(mInputLength) * 1.2);
    if (capacity > 0) out.reserve(capacity);
    // A large output is written into huge pages where the system allows.
    if (out.capacity() >= std::size_t{4} << 20) AdviseHugePages(out.data(), out.capacity());
    if (CParseNode* root = GetRoot()) root->WriteHTML(out);
    return out;
}

// Text, insert blocks, comments and the root write their data verbatim; a
// tag writes itself around its children; a property only through its tag.
void CParseNode::WriteHTML(std::string& out) {
    WalkTree(
        this,
        [&out](CParseNode* node) {
            switch (node->mType) {
            case KP_NODE_TAG:
                static_cast<const CTagNode*>(node)->WriteStart(out);
                return true;
            case KP_NODE_PROPERTY:
                node->WriteHTML(out);
                return false;
            default:
                out += node->Data();
                return true;
            }
        },
        [&out](CParseNode* node) {
            if (node->mType == KP_NODE_TAG) static_cast<const CTagNode*>(node)->WriteEnd(out);
        });
}

void CTagNode::WriteStart(std::string& out) const {
    out += '<';
    out += GetName();
    for (CParseNode* property = mProperties.GetFirst(); property; property = property->NextSibling()) {
        out += ' ';
        property->WriteHTML(out);
    }
    out += '>';
}

// The closing tag is rebuilt from the start tag's own name, and only when
// an end tag was matched to it.
void CTagNode::WriteEnd(std::string& out) const {
    if (!bEndTag) return;
    out += "</";
    out += GetName();
    out += '>';
}

void CPropertyNode::WriteHTML(std::string& out) {
    out += Name();
    if (!bHasValue) return;
    out += "=\"";
    out += Data();
    out += '"';
}

void CParseNode::Dump(std::FILE* file) {
    WalkTree(
        this,
        [file](CParseNode* node) {
            switch (node->mType) {
            case KP_NODE_TAG:
                static_cast<const CTagNode*>(node)->DumpStart(file);
                return true;
            case KP_NODE_PROPERTY:
                node->Dump(file);
                return false;
            default:
                PrintC(file, node->GetData());
                return true;
            }
        },
        [file](CParseNode* node) {
            if (node->mType == KP_NODE_TAG) static_cast<const CTagNode*>(node)->DumpEnd(file);
        });
}

void CTagNode::DumpStart(std::FILE* file) const {
    std::fputc('<', file);
    PrintC(file, GetName());
    for (CParseNode* property = mProperties.GetFirst(); property; property = property->NextSibling()) {
        std::fputc(' ', file);
        property->Dump(file);
    }
    std::fputc('>', file);
}

void CTagNode::DumpEnd(std::FILE* file) const {
    if (!bEndTag) return;
    std::fputs("</", file);
    PrintC(file, GetName());
    std::fputc('>', file);
}

void CPropertyNode::Dump(std::FILE* file) {
    PrintC(file, Name());
    std::fputs("=\"", file);
    PrintC(file, GetData());
    std::fputc('"', file);
}

}  // namespace kivoparse
