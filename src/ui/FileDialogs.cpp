#include "ui/FileDialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>

namespace korvex {

QString FilterSuffix(const QString& filter)
{
    static const QRegularExpression pattern(QStringLiteral(R"(\*\.([A-Za-z0-9_]+))"));
    const QRegularExpressionMatch match = pattern.match(filter);
    return match.hasMatch() ? match.captured(1) : QString();
}

QString WithFilterSuffix(const QString& path, const QString& filter)
{
    const QString suffix = FilterSuffix(filter);
    if (path.isEmpty() || suffix.isEmpty() || !QFileInfo(path).suffix().isEmpty())
        return path;
    return path + QLatin1Char('.') + suffix;
}

QString AskSavePath(QWidget* parent, const QString& title, const QString& dir,
                    const QString& filters)
{
    QFileDialog dialog(parent, title, dir, filters);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    const auto follow = [&dialog](const QString& filter) {
        dialog.setDefaultSuffix(FilterSuffix(filter));
    };
    follow(dialog.selectedNameFilter());
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, follow);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    // A platform dialog may ignore the default suffix.
    return WithFilterSuffix(dialog.selectedFiles().constFirst(), dialog.selectedNameFilter());
}

} // namespace korvex
