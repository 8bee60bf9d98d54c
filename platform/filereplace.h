#pragma once

namespace pfw::filereplace {

// How many times a save tries to rename its new file over the old one, and how long it waits in
// between. Windows refuses the rename while any other program has the old file open (another
// Prefwright looking at it, PixInsight, an antivirus, a backup tool, Explorer's preview); most of
// them let go within a moment. Elsewhere a rename that fails once fails for good.
int attempts();
int pauseMs();

} // namespace pfw::filereplace
