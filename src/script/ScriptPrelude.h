#pragma once

#include <QString>
#include <QStringList>

namespace korvex {

// The file names the engine gets for the MyObject prelude and for the
// script's own text; stack frames are told apart by them.
inline constexpr char kPreludeFileName[] = "korvex-myobject-prelude";
inline constexpr char kScriptFileName[] = "script";

// A function of one argument, the host object, that returns the MyObject
// proxy: a property read lower-cases the name and, for one of the 24 method
// names, gives a function that calls host.call(number, arguments). Any other
// name reads as undefined.
QString BuildMyObjectPrelude();

// The 1-based line of the first frame that is not the prelude's, or -1.
// FindScriptLineInStack reads an Error object's "stack" ("name@url:line"
// per line); FindScriptLineInTrace reads the trace evaluate() fills
// ("name:line:column:url" per entry).
int FindScriptLineInStack(const QString& stack);
int FindScriptLineInTrace(const QStringList& trace);

} // namespace korvex
