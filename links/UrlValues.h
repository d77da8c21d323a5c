#pragma once

#include "tree/CValueList.h"

namespace kivoparse {

class CParseNode;
class CUrlMap;

// The two kinds of URL a tree holds: images (IMG src, INPUT src, any tag's
// background) and links (A href). Below the public API they are one path
// with a kind.
enum class EUrlKind { Images, Links };

// The URLs of kind in top's subtree: every attribute of the kind's passes
// (for images IMG src, then INPUT src, then background, each in document
// order), first occurrence kept, duplicates under ASCII case folding
// dropped. Values end at their first NUL; a bare attribute gives "".
CValueList CollectUrls(const CParseNode& top, EUrlKind kind);

// Each URL of kind that a collection would find and that equals an old
// value of map (ASCII case folded, first pair wins) becomes its new value,
// whole. -1 (nothing touched) when the map's lists differ in length, else
// 0. Either every change is made or, when memory runs out, none.
int RewriteUrls(CParseNode& top, EUrlKind kind, const CUrlMap& map);

// Both kinds in one walk, each with its own map (null: that kind is left
// alone): what rewriting the images and then the links gives. -1 (nothing
// touched) when either map's lists differ in length.
int RewriteUrls(CParseNode& top, const CUrlMap* images, const CUrlMap* links);

}  // namespace kivoparse
