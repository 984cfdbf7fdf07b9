#pragma once

#include <QUrl>

namespace korvex {

// The bundled HTML manual: next to the installed program
// (share/doc/korvex/manual), else the one of the sources.
QUrl ManualUrl();

} // namespace korvex
