// The window tests: offscreen, one QApplication for the whole run.

#include "script/ScriptEnvironment.h"
#include "ui/Resources.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    korvex::PrepareScriptEnvironment();
    QApplication app(argc, argv);
    korvex::InitUiResources();
    // As the program does: the standard dialogs in Russian.
    korvex::InstallQtTranslations();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
