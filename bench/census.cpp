// kivoparse_census FILE...: what the nodes of parsed documents hold. For
// each file (and in total), the count of each kind of node and how many of
// them have each field set: the figures the node layout is sized by.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "engine/CParsingEngine.h"
#include "tree/CTagNode.h"
#include "tree/TreeWalk.h"

using namespace kivoparse;

namespace {

struct SCensus {
    unsigned long long mInput = 0, mText = 0, mInsert = 0, mTag = 0, mProperty = 0, mOther = 0;
    unsigned long long mTagWithChildren = 0, mTagWithProperties = 0, mTagTyped = 0, mTagOwnedName = 0;
    unsigned long long mPropertyWithValue = 0, mPropertyOwnedName = 0, mPropertyOwnedValue = 0;
    unsigned long long mTextOwned = 0, mTextBytes = 0;

    void Add(const SCensus& o) {
        unsigned long long* a = &mInput;
        const unsigned long long* b = &o.mInput;
        for (std::size_t i = 0; i < sizeof(SCensus) / sizeof(unsigned long long); ++i) a[i] += b[i];
    }
    void Print(const char* name) const {
        std::printf("%s: %llu bytes; text %llu (%llu owned, %llu bytes), insert %llu, other %llu\n", name, mInput,
                    mText, mTextOwned, mTextBytes, mInsert, mOther);
        std::printf("  tags %llu: children %llu, properties %llu, typed %llu, name stored %llu\n", mTag,
                    mTagWithChildren, mTagWithProperties, mTagTyped, mTagOwnedName);
        std::printf("  properties %llu: value %llu, name stored %llu, value stored %llu\n", mProperty,
                    mPropertyWithValue, mPropertyOwnedName, mPropertyOwnedValue);
        std::printf("  per MB of input: %.0f nodes\n", (mText + mInsert + mTag + mProperty + mOther) * 1e6 / mInput);
    }
};

// Bytes the document stores apart from the text (not a view of it).
bool Owned(std::string_view bytes, const std::string& text) {
    return !bytes.empty() && (bytes.data() < text.data() || bytes.data() >= text.data() + text.size());
}

void Count(const CDocument& document, SCensus& census) {
    const std::string& text = document.Text();
    auto visit = [&](const CParseNode* node) {
        switch (node->mType) {
            case KP_NODE_TEXT:
                (node->Name() == "KIVO INSERT" ? census.mInsert : census.mText)++;
                census.mTextBytes += node->Data().size();
                census.mTextOwned += Owned(node->Data(), text);
                break;
            case KP_NODE_TAG: {
                const auto* tag = static_cast<const CTagNode*>(node);
                census.mTag++;
                census.mTagWithChildren += !tag->Children()->IsEmpty();
                census.mTagWithProperties += !tag->Properties()->IsEmpty();
                census.mTagTyped += tag->GetTagType() != 0;
                census.mTagOwnedName += Owned(node->Data(), text);
                for (const CParseNode* p = tag->Properties()->GetFirst(); p; p = p->NextSibling()) {
                    if (p->mType != KP_NODE_PROPERTY) {
                        census.mOther++;
                        continue;
                    }
                    census.mProperty++;
                    census.mPropertyWithValue += p->bHasValue;
                    census.mPropertyOwnedName += Owned(p->Name(), text);
                    census.mPropertyOwnedValue += Owned(p->Data(), text);
                }
                break;
            }
            case KP_NODE_ROOT: break;
            default: census.mOther++;
        }
        return true;
    };
    WalkTree(document.Root(), visit, [](const CParseNode*) {});
}

}  // namespace

int main(int argc, char** argv) {
    SCensus total;
    CParsingEngine engine;
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "kivoparse_census: cannot read %s\n", argv[i]);
            return 1;
        }
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        SCensus census;
        census.mInput = text.size();
        std::unique_ptr<CDocument> document = engine.Parse(std::move(text));
        Count(*document, census);
        if (argc > 2) census.Print(argv[i]);
        total.Add(census);
    }
    total.Print("all");
}
