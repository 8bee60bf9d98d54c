#include "ui/statusbanner.h"

namespace pfw {

namespace {

const QColor kRunningBanner(255, 190, 0, 90);
const QColor kChangedBanner(255, 120, 0, 90);
const QColor kLayoutBanner(80, 160, 255, 70);

} // namespace

StatusBanner::Banner StatusBanner::describe(const State &state)
{
    Banner banner;
    const int n = state.unsaved;
    if (state.running && !state.runningCheckError.isEmpty()) {
        banner.text = tr("<b>View only: Prefwright cannot tell whether PixInsight is running</b> (%1). PixInsight "
                         "would overwrite edits made while it runs; editing comes back once the check can be made.")
                          .arg(state.runningCheckError.toHtmlEscaped());
        banner.colour = kRunningBanner;
    } else if (state.running) {
        banner.text
            = tr("<b>PixInsight is running - view only.</b> It keeps its settings in memory and overwrites this "
                 "file, so edits made now would be lost. Close PixInsight to edit.");
        banner.colour = kRunningBanner;
    } else if (state.searchInProgress && state.loaded) {
        // Each round rewrites the file: "changed on disk" would be true and tell nothing.
        banner.text = tr("<b>A problem search is in progress: the file is rewritten each round.</b>");
        banner.colour = kRunningBanner;
    } else if (state.changedOnDisk) {
        banner.text = n == 0 ? tr("<b>The file changed on disk since it was loaded.</b>")
                             : tr("<b>The file changed on disk since it was loaded.</b> Saving is blocked. Reload to "
                                  "put your %n unsaved changes back on it, or to discard them.",
                                  nullptr, n);
        if (!state.hostDamage.isEmpty())
            banner.text += u' ' + state.hostDamage.toHtmlEscaped();
        banner.colour = kChangedBanner;
        banner.offersReload = true;
    } else if (state.loaded && !state.hostChanges.isEmpty()) {
        banner.text = QStringLiteral("<b>%1</b>").arg(state.hostChanges.toHtmlEscaped());
        if (!state.hostModules.isEmpty())
            banner.text += u' ' + state.hostModules.toHtmlEscaped();
        banner.colour = kLayoutBanner;
        banner.offersHostChanges = true;
    } else if (state.loaded && !state.validUtf8) {
        // Checked before the layout: "values are unaffected" would not be true here.
        banner.text
            = tr("This file contains bytes that are not valid UTF-8 (first at line %1, column %2). Saving would "
                 "replace them with the Unicode replacement character.")
                  .arg(state.invalidUtf8Line)
                  .arg(state.invalidUtf8Column);
        banner.colour = kChangedBanner;
    } else if (state.loaded && !state.compactLayout) {
        banner.text = tr("This file uses a non-default layout (for example indented XML). Values are unaffected; "
                         "saving will rewrite it in PixInsight's compact layout.");
        banner.colour = kLayoutBanner;
    }
    return banner;
}

} // namespace pfw
