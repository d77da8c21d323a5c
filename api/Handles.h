#pragma once
// What the public classes hold behind their one pointer: a Parser its
// control (the settings and the document), a UrlMap its table.
#include "control/CKIVOParseCtrl.h"
#include "kivoparse/kivoparse.h"
#include "links/CUrlMap.h"

namespace kivoparse {

class Parser::Control : public CKIVOParseCtrl {};

class UrlMap::Table : public CUrlMap {
public:
    using CUrlMap::CUrlMap;
};

}  // namespace kivoparse
