#pragma once

#include "tree/CValueList.h"

namespace kivoparse {

class CDocument;
class CUrlMap;

// The kinds of URL a tree holds, in the order of the public UrlKind: the
// seed's images (IMG src, INPUT src, any tag's background) and links (A
// href), then the kinds of links/UrlKinds.h (stylesheets and scripts,
// frames, media, ...). Below the public API every kind takes one path: the
// table of links/UrlKinds.cpp and its walk.
enum class EUrlKind { Images, Links, Resources, Frames, Media, Areas, Forms, Srcset, Refresh, Css };

// The URLs of kind in document: every attribute of the kind's passes
// (for images IMG src, then INPUT src, then background, each in document
// order), first occurrence kept, duplicates under ASCII case folding
// dropped. Values end at their first NUL; a bare attribute gives "".
CValueList CollectUrls(const CDocument& document, EUrlKind kind);

// Each URL of kind (images or links: the seed's two rewriting commands)
// that a collection would find and that equals an old value of map (ASCII
// case folded, first pair wins) becomes its new value, whole. -1 (nothing
// touched) when the map's lists differ in length, else 0. Either every
// change is made or, when memory runs out, none.
int RewriteUrls(CDocument& document, EUrlKind kind, const CUrlMap& map);

// Both kinds in one walk, each with its own map (null: that kind is left
// alone): what rewriting the images and then the links gives. -1 (nothing
// touched) when either map's lists differ in length.
int RewriteUrls(CDocument& document, const CUrlMap* images, const CUrlMap* links);

}  // namespace kivoparse
