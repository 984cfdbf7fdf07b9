#include "ui/Manual.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace korvex {

QUrl ManualUrl()
{
    const QDir bin(QCoreApplication::applicationDirPath());
    QString manual = bin.filePath(QStringLiteral("../share/doc/korvex/manual/index.html"));
    if (!QFileInfo::exists(manual))
        manual = QStringLiteral(KORVEX_MANUAL_DIR "/index.html");
    return QUrl::fromLocalFile(QFileInfo(manual).absoluteFilePath());
}

} // namespace korvex
