#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "links/ReplaceAll.h"
#include "tree/CTreeBuilder.h"

namespace kivoparse {

struct SUrlPlace;

// The document base that image URLs lose while a tree is built: a parse
// hands it to its tree builder as the tag hook when it is not empty. The
// image URLs are those of the image rows of the URL table (links/UrlKinds),
// the rows that collecting and rewriting images read.
class CDocumentBase final : public CTagHook {
public:
    explicit CDocumentBase(std::string base = std::string());

    const std::string& Text() const { return mDeleter.Search(); }
    bool IsEmpty() const { return mDeleter.Search().empty(); }

    // value with its backslashes turned into slashes, then without every
    // occurrence of the base (which must not be empty); work grows by the
    // bytes looked at.
    std::string Apply(std::string_view value, std::uint64_t& work) const;
    // Each image URL of tag, whole, through Apply.
    void Apply(CTagNode& tag, CTreeBuilder& builder) const override;

private:
    // A row of the URL table that it applies to, with what each tag is
    // matched by made ready.
    struct SImageRow {
        const SUrlPlace* mPlace;
        int mTagType;  // the row's tag type, or 0
        bool bAnyTag;  // no tag type and no tag name: every tag
        std::string_view mAttribute;
    };
    CTextDeleter mDeleter;
    std::vector<SImageRow> mImageRows;
};

}  // namespace kivoparse
