#pragma once
// CPropertyNode, an attribute, is defined beside the base of every node,
// whose Name() reads it.
#include "tree/CParseNode.h"
