#pragma once
#include <cstddef>

#include "tree/CValueList.h"

namespace kivoparse {

class CFoldedIndex;
class CParseNode;

// One pass of a collection or a rewrite: the tags of one type (0: every
// tag) and the attribute whose value they contribute.
struct SAttributePass {
    int mTagType;
    const char* mAttribute;
};

// The one walk behind collecting: the first attribute of each pass's name on
// each tag of its type in top's subtree, pass after pass, each in document
// order, appended to values unless values (or an earlier find) holds it
// already under ASCII case folding. All passes share a single walk.
void CollectAttributeValues(CParseNode& top, const SAttributePass* passes, std::size_t count, CValueList& values);

// The one walk behind rewriting: each value that a collection with these
// passes would find and that equals src[i] (ASCII case folded, first i wins)
// becomes dest[i], whole. The passes must touch different attributes (a tag
// has one type; the names differ). Either every change is made or, when
// memory runs out, none.
void RewriteAttributeValues(CParseNode& top, const SAttributePass* passes, std::size_t count,
                            const CValueList& src, const CValueList& dest);
// The same walk with the sources indexed beforehand (sources.IndexAll()), so
// one index serves many trees; the index is only read.
void RewriteAttributeValues(CParseNode& top, const SAttributePass* passes, std::size_t count,
                            const CFoldedIndex& sources, const CValueList& dest);

}  // namespace kivoparse
