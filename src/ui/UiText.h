#pragma once

#include <QString>

#include <string>

namespace korvex {

// Text inside the core is UTF-8 std::string; Qt's is QString.
inline QString Qs(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string Ss(const QString& text)
{
    return text.toStdString();
}

} // namespace korvex
