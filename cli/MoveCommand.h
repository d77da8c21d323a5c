#pragma once
// kivoparse mv: a file or folder moved inside a site, and every URL that
// reaches it or leaves it rewritten (kivoparse/site.h plans the move).
#include "cli/CCommandLine.h"

namespace kivoparse {
namespace cli {

// Walks the site, plans the move, then stages every rewritten page, moves
// SRC to DST and puts the pages in place; with --dry-run prints the diff
// instead. Returns the exit status.
int RunMove(const SOptions& options);

}  // namespace cli
}  // namespace kivoparse
