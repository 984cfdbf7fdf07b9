#pragma once

namespace korvex {

// Registers the pictures compiled into this library; called once by each
// program and test before the first window is made.
void InitUiResources();

// Loads Qt's own Russian texts (the standard dialogs' "Отмена", "Папка:"),
// so that they speak the language of the program. False when Qt's
// translations are not installed; the dialogs then stay in English.
bool InstallQtTranslations();

} // namespace korvex
