#pragma once
// The URL index is shared by the tree's walks and the links operations, so
// it lives in tree/; this name is kept for code that includes it from here.
#include "tree/CFoldedIndex.h"
