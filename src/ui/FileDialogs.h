#pragma once

#include <QString>

class QWidget;

namespace korvex {

// The first extension a file-dialog filter names, without the dot:
// "Файлы проекта (*.kvxp)" gives "kvxp"; "Все файлы (*)" gives nothing.
QString FilterSuffix(const QString& filter);

// The path with the extension of the filter appended when its file name has
// none ("p1" becomes "p1.kvxp"); an empty path stays empty.
QString WithFilterSuffix(const QString& path, const QString& filter);

// The save dialog. A name typed without an extension gets the one of the
// chosen filter before the dialog asks about overwriting, so the file is
// found again under that filter. Empty when cancelled.
QString AskSavePath(QWidget* parent, const QString& title, const QString& dir,
                    const QString& filters);

} // namespace korvex
