#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "links/ReplaceAll.h"
#include "tree/CParseContext.h"

namespace kivoparse {

// The document base that image URLs lose while a tree is built: a parse
// sets it as its context's image filter when it is not empty.
class CDocumentBase final : public CUrlFilter {
public:
    explicit CDocumentBase(std::string base = std::string()) : mDeleter(std::move(base)) {}

    const std::string& Text() const { return mDeleter.Search(); }
    bool IsEmpty() const { return mDeleter.Search().empty(); }

    // value with its backslashes turned into slashes, then without every
    // occurrence of the base (which must not be empty).
    std::string Apply(std::string_view value, std::uint64_t& work) const override {
        work += value.size();
        return mDeleter.DeleteFrom(ReplaceAll(std::string(value), "\\", "/"), work);
    }

private:
    CTextDeleter mDeleter;
};

}  // namespace kivoparse
