// The script tests need the interpreter forced and the application object
// made before the first engine, so they bring their own main. Started with
// kWithoutApplication as its only argument, the program instead runs one
// script with no application object and prints what happened.

#include "ScriptChild.h"
#include "script/ScriptEnvironment.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstring>

int main(int argc, char** argv)
{
    korvex::PrepareScriptEnvironment();
    if (argc == 2 && std::strcmp(argv[1], korvex::test::kWithoutApplication) == 0)
        return korvex::test::RunWithoutApplication();
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
