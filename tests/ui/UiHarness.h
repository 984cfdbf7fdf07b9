#pragma once

// A main window on a runtime of its own: settings from the test's folder, no
// serial port of the machine (an empty sysfs tree), the virtual port linked
// into a temporary folder, file dialogs answered by the test.

#include "runtime/CKorvexRuntime.h"
#include "core/CDocManager.h"
#include "files/CPrjManager.h"
#include "support/TempDir.h"
#include "ui/CMainFrame.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <memory>
#include <string>

namespace korvex::test {

struct UiHarness
{
    CTempDir dir;
    std::unique_ptr<CKorvexRuntime> runtime;
    std::unique_ptr<CMainFrame> frame;
    std::deque<QString> paths; // answers of the file dialogs

    explicit UiHarness(bool open = true)
    {
        std::filesystem::create_directories(dir.File("sys"));
        runtime = std::make_unique<CKorvexRuntime>();
        CKorvexRuntime::SOptions options;
        options.bListVirtual = true;
        options.bSettingsNetwork = true;
        options.strLink = dir.File("tty");
        options.strSysRoot = dir.File("sys");
        options.strDevRoot = dir.File("dev");
        runtime->Prepare(options);
        frame = std::make_unique<CMainFrame>(*runtime);
        frame->SetFilePrompt([this](const QString&, const QString&, bool) {
            if (paths.empty())
                return QString();
            const QString path = paths.front();
            paths.pop_front();
            return path;
        });
        frame->show();
        if (open)
            frame->OpenStartupProject();
    }

    ~UiHarness()
    {
        frame.reset();
        runtime.reset();
    }

    CKorvexApp& App() { return runtime->App(); }
    CPrjManager& Project() { return runtime->Project(); }
    QAction* Action(CommandId id) { return frame->Commands().Action(id); }
    // Runs the event loop for the posted tasks.
    void Pump() { QCoreApplication::processEvents(); }
};

// The menu's items as "text|-|text", a separator as "-".
inline QString MenuTexts(const QMenu& menu)
{
    QStringList texts;
    for (QAction* action : menu.actions())
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts.join(QLatin1Char('|'));
}

// Answers the next modal box or dialog with its default or Escape.
inline void CloseNextModal(bool accept = false)
{
    QTimer::singleShot(0, [accept] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            if (accept)
                QMetaObject::invokeMethod(modal, "accept");
            else
                modal->close();
        }
    });
}

} // namespace korvex::test
