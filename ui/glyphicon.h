#pragma once

#include <QIcon>

namespace pfw {

// The toolbar's icons are line drawings in the palette's colour, so they follow the theme and
// any screen scale without image files.
enum Glyph : int {
    FolderGlyph,
    ReloadGlyph,
    SaveGlyph,
    RevertGlyph,
    FindGlyph,
    BackupsGlyph,
    RestoreGlyph,
    ThemeGlyph,
    AboutGlyph
};

QPixmap glyphPixmap(int index, const QColor &colour, int size, qreal devicePixelRatio);
QIcon glyphIcon(int index, const QColor &colour, const QColor &disabledColour, int size, qreal devicePixelRatio);

} // namespace pfw
