// The script window: the log's rows and menu, choosing a line, the splitter,
// the editor with the edit commands, and runs started from the main window.

#include "UiHarness.h"
#include "core/CDocTemplate.h"
#include "script/CScriptDoc.h"
#include "ui/CChildFrame.h"
#include "ui/CDebugView.h"
#include "ui/CScriptFrame.h"
#include "ui/CScriptHighlighter.h"
#include "ui/CScriptView.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QStyle>
#include <QTest>
#include <QTextBlock>
#include <QTime>

namespace korvex::test {
namespace {

using Tokens = std::vector<CScriptHighlighter::SToken>;

// A project with one script, its window open.
struct ScriptHarness : UiHarness
{
    CScriptDoc* doc{ nullptr };
    CScriptFrame* view{ nullptr };
    std::string path;

    explicit ScriptHarness(const std::string& text) : UiHarness(false)
    {
        path = dir.Write("s.kvxs", text);
        frame->OpenStartupProject(QString::fromStdString(dir.Write("p.kvxp", ".\\s.kvxs\r\n")));
        doc = dynamic_cast<CScriptDoc*>(runtime->ScriptTemplate().GetDocuments().front());
        for (QMdiSubWindow* sub : frame->MdiArea()->subWindowList())
            if (auto* v = dynamic_cast<CScriptFrame*>(sub->widget()))
                view = v;
    }

    CScriptView* Editor() { return view->Editor(); }
    CDebugView* Log() { return view->Log(); }
    // Runs the loop until the log holds count rows.
    bool WaitForRows(int count)
    {
        return QTest::qWaitFor([&] { return Log()->GetLineCount() >= count; }, 10000);
    }
    bool WaitForStop()
    {
        return QTest::qWaitFor([&] { return !App().IsRunning() && !doc->IsScriptRunning(); },
                               10000);
    }
    // The selected range of the editor as [first position, end position).
    std::pair<int, int> Selection()
    {
        const QTextCursor cursor = Editor()->textCursor();
        return { cursor.selectionStart(), cursor.selectionEnd() };
    }
    // The range of a whole line, with its line break.
    std::pair<int, int> LineRange(int line)
    {
        const QTextBlock block = Editor()->document()->findBlockByNumber(line);
        const QTextBlock next = block.next();
        return { block.position(),
                 next.isValid() ? next.position() : Editor()->document()->characterCount() - 1 };
    }
    void Activate()
    {
        QApplication::setActiveWindow(frame.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    }
};

QImage IconImage(const QIcon& icon)
{
    return icon.pixmap(16, 16).toImage();
}

TEST(ScriptLog, TheLimitDropsTheOldestRowAndZeroKeepsEverything)
{
    CDebugView view;
    QAbstractItemModelTester tester(&view.Model(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    auto add = [&view](int n, int maxLines) {
        view.AddLine(SScriptLogRecord::Make(SL_INFORMATION, std::to_string(n), -1), maxLines);
    };
    for (int n = 1; n <= 201; ++n)
        add(n, 200);
    ASSERT_EQ(view.GetLineCount(), 200);
    EXPECT_EQ(view.Model().Row(0).strText, QStringLiteral("2"));
    EXPECT_EQ(view.Model().Row(199).strText, QStringLiteral("201"));
    // A lowered limit does not shrink the list: one row goes per row in.
    add(202, 150);
    ASSERT_EQ(view.GetLineCount(), 200);
    EXPECT_EQ(view.Model().Row(0).strText, QStringLiteral("3"));
    // No limit.
    for (int n = 203; n <= 252; ++n)
        add(n, 0);
    EXPECT_EQ(view.GetLineCount(), 250);
    EXPECT_EQ(view.Model().Row(0).strText, QStringLiteral("3"));
}

// A batch of lines is one removal of the oldest rows and one insertion,
// whatever its size; rows still waiting go with a clear.
TEST(ScriptLog, ABatchIsOneRemovalAndOneInsertion)
{
    CDebugView view;
    CScriptLogModel& model = view.Model();
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    int removals = 0;
    int insertions = 0;
    QObject::connect(&model, &QAbstractItemModel::rowsRemoved, [&removals] { ++removals; });
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, [&insertions] { ++insertions; });
    const auto add = [&view](int first, int last, int maxLines) {
        CScriptDoc::LogBatch batch;
        for (int n = first; n <= last; ++n)
            batch.push_back(SScriptLogRecord::Make(SL_INFORMATION, std::to_string(n), -1));
        view.AddBatch(batch, maxLines);
        view.Flush();
    };
    add(1, 150, 200);
    add(151, 260, 200);
    ASSERT_EQ(view.GetLineCount(), 200);
    EXPECT_EQ(model.Row(0).strText, QStringLiteral("61"));
    EXPECT_EQ(model.Row(199).strText, QStringLiteral("260"));
    EXPECT_EQ(removals, 1);
    EXPECT_EQ(insertions, 2);
    // Longer than the limit: its last rows replace every row.
    add(261, 700, 200);
    EXPECT_EQ(model.Row(0).strText, QStringLiteral("501"));
    EXPECT_EQ(model.Row(199).strText, QStringLiteral("700"));
    EXPECT_EQ(removals, 2);
    EXPECT_EQ(insertions, 3);
    // A lowered limit keeps the length.
    add(701, 710, 100);
    EXPECT_EQ(view.GetLineCount(), 200);
    EXPECT_EQ(model.Row(0).strText, QStringLiteral("511"));

    view.AddBatch({ SScriptLogRecord::Make(SL_INFORMATION, "late", -1) }, 0);
    view.ClearLog();
    view.Flush();
    EXPECT_EQ(view.GetLineCount(), 0);
}

TEST(ScriptLog, RowsCarryTimeIconAndLineAndTheMenuClears)
{
    CDebugView view;
    QAbstractItemModelTester tester(&view.Model(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    CScriptLogModel& model = view.Model();
    EXPECT_EQ(model.headerData(0, Qt::Horizontal, Qt::DisplayRole), QStringLiteral("  Сообщение"));
    EXPECT_EQ(model.headerData(1, Qt::Horizontal, Qt::DisplayRole),
              QStringLiteral("    Время    "));
    EXPECT_EQ(view.palette().color(QPalette::Base), QColor(220, 220, 200));
    // The menu: clearing is the default item and needs rows.
    EXPECT_EQ(MenuTexts(*view.ContextMenu()), QStringLiteral("Очистить &журнал|-|Отмена"));
    EXPECT_EQ(view.ContextMenu()->defaultAction(), view.ClearAction());
    EXPECT_EQ(view.ClearAction()->data().toInt(), 32779);
    EXPECT_FALSE(view.ClearAction()->isEnabled());

    const QStyle::StandardPixmap icons[] = { QStyle::SP_MessageBoxInformation,
                                             QStyle::SP_MessageBoxWarning,
                                             QStyle::SP_MessageBoxCritical };
    for (int level = SL_INFORMATION; level <= SL_ERROR; ++level) {
        const QString before = QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
        view.AddLine(SScriptLogRecord::Make(level, "text " + std::to_string(level), level - 1), 0);
        const QString after = QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
        const QModelIndex text = model.index(level, CScriptLogModel::COL_TEXT);
        const QString time =
            model.data(model.index(level, CScriptLogModel::COL_TIME), Qt::DisplayRole).toString();
        EXPECT_TRUE(time == before || time == after) << time.toStdString();
        EXPECT_EQ(model.data(text, Qt::DisplayRole), QStringLiteral("text %1").arg(level));
        EXPECT_EQ(IconImage(model.data(text, Qt::DecorationRole).value<QIcon>()),
                  IconImage(QApplication::style()->standardIcon(icons[level])));
        EXPECT_EQ(model.data(text, CScriptLogModel::kLineRole), level - 1);
        EXPECT_TRUE(view.ClearAction()->isEnabled());
    }
    // A long Print shows its first 511 characters.
    view.AddLine(SScriptLogRecord::Make(SL_INFORMATION, std::string(600, 'x'), -1), 0);
    EXPECT_EQ(model.Row(3).strText, QString(511, QLatin1Char('x')));

    view.ClearAction()->trigger();
    EXPECT_EQ(view.GetLineCount(), 0);
    EXPECT_FALSE(view.ClearAction()->isEnabled());
    view.AddLine(SScriptLogRecord::Make(SL_INFORMATION, "again", -1), 0);
    EXPECT_TRUE(view.ClearAction()->isEnabled());
}

TEST(ScriptWindow, ChoosingARowSelectsItsLineAndTheLogKeepsTheFocus)
{
    ScriptHarness h("var a0;\r\nvar a1;\r\nvar a2;\r\nvar a3;\r\nvar a4;\r\nvar a5;\r\n");
    ASSERT_NE(h.view, nullptr);
    h.Activate();
    h.Log()->AddLine(SScriptLogRecord::Make(SL_ERROR, "error", 4), 0);
    h.Log()->AddLine(SScriptLogRecord::Make(SL_INFORMATION, "print", -1), 0);
    h.Log()->AddLine(SScriptLogRecord::Make(SL_ERROR, "last", 6), 0);
    h.Log()->setFocus();

    auto click = [&h](int row) {
        const QRect rect = h.Log()->visualRect(h.Log()->model()->index(row, 0));
        QTest::mouseClick(h.Log()->viewport(), Qt::LeftButton, {}, rect.center());
    };
    click(0);
    EXPECT_EQ(h.Selection(), h.LineRange(4));
    EXPECT_EQ(h.Editor()->textCursor().selectedText(), QStringLiteral("var a4;\u2029"));
    EXPECT_TRUE(h.Log()->hasFocus());
    // A row without a line changes nothing.
    click(1);
    EXPECT_EQ(h.Selection(), h.LineRange(4));
    // The last line, which is empty, runs to the end of the text.
    QTest::keyClick(h.Log(), Qt::Key_Down);
    EXPECT_EQ(h.Selection(), h.LineRange(6));
    // Tab and Shift+Tab move between the panes.
    QTest::keyClick(h.Log(), Qt::Key_Tab);
    EXPECT_TRUE(h.Editor()->hasFocus());
    QTest::keyClick(h.Editor(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_TRUE(h.Log()->hasFocus());
    EXPECT_EQ(h.Selection(), h.LineRange(6));
    // Choosing the focused row again selects its line again.
    h.Editor()->moveCursor(QTextCursor::Start);
    click(2);
    EXPECT_EQ(h.Selection(), h.LineRange(6));
    // A line the text does not have changes nothing.
    h.Log()->AddLine(SScriptLogRecord::Make(SL_ERROR, "beyond", 40), 0);
    click(3);
    EXPECT_EQ(h.Selection(), h.LineRange(6));
    // The focused row going at the limit chooses nothing.
    h.Log()->ClearLog();
    h.Log()->AddLine(SScriptLogRecord::Make(SL_ERROR, "a", 1), 0);
    h.Log()->AddLine(SScriptLogRecord::Make(SL_ERROR, "b", 3), 0);
    h.Log()->setCurrentIndex(h.Log()->model()->index(0, 0));
    EXPECT_EQ(h.Selection(), h.LineRange(1));
    h.Editor()->moveCursor(QTextCursor::Start);
    h.Log()->AddLine(SScriptLogRecord::Make(SL_ERROR, "c", 5), 2);
    EXPECT_EQ(h.Selection(), std::make_pair(0, 0));
}

TEST(ScriptWindow, TheEditorGetsTwoThirdsOfTheHeight)
{
    ScriptHarness h("var a;\r\n");
    ASSERT_NE(h.view, nullptr);
    const std::pair<int, int> heights[] = {
        { 600, 400 }, { 301, 200 }, { 90, 60 }, { 72, 50 }, { 60, 50 }
    };
    QMdiSubWindow* sub = h.frame->MdiArea()->currentSubWindow();
    sub->showNormal();
    for (const auto& [height, editor] : heights) {
        EXPECT_EQ(CScriptFrame::EditorHeight(height), editor);
        h.view->resize(300, height);
        EXPECT_EQ(h.view->sizes().front(), editor) << height;
        EXPECT_EQ(h.Editor()->height(), editor) << height;
    }
}

TEST(ScriptWindow, TheEditorHoldsTheTextAndOffersTheEditCommands)
{
    // A non-breaking space stays what it is.
    const std::string text =
        "// comment\r\nvar n = 0x10; /* a\r\nb */ MyObject.Print('x\u00A0y');\r\n";
    ScriptHarness h(text);
    ASSERT_NE(h.view, nullptr);
    h.Pump();
    // Filling the editor and colouring it changes nothing.
    EXPECT_EQ(h.Editor()->GetScriptText(), text);
    EXPECT_EQ(h.Editor()->blockCount(), 4);
    EXPECT_FALSE(h.doc->IsModified());
    const QFontMetrics metrics(h.Editor()->font());
    EXPECT_EQ(metrics.horizontalAdvance(QLatin1Char('i')),
              metrics.horizontalAdvance(QLatin1Char('W')));
    EXPECT_TRUE(h.view->isVisible());

    QAction* undo = h.Action(ID_EDIT_UNDO);
    QAction* cut = h.Action(ID_EDIT_CUT);
    QAction* copy = h.Action(ID_EDIT_COPY);
    QAction* paste = h.Action(ID_EDIT_PASTE);
    h.Activate();
    QApplication::clipboard()->setText(QStringLiteral("pasted"));
    h.Editor()->setFocus();
    h.Pump();
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_FALSE(copy->isEnabled());
    EXPECT_TRUE(paste->isEnabled());

    // Select the first line's word "comment" and cut it.
    QTextCursor cursor = h.Editor()->textCursor();
    cursor.setPosition(3);
    cursor.setPosition(10, QTextCursor::KeepAnchor);
    h.Editor()->setTextCursor(cursor);
    EXPECT_TRUE(copy->isEnabled());
    EXPECT_TRUE(cut->isEnabled());
    cut->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("comment"));
    EXPECT_EQ(h.Editor()->document()->firstBlock().text(), QStringLiteral("// "));
    EXPECT_FALSE(copy->isEnabled());
    EXPECT_TRUE(undo->isEnabled());
    // Editing marks the document modified; its window shows it.
    h.Pump();
    EXPECT_TRUE(h.doc->IsModified());
    EXPECT_TRUE(h.frame->MdiArea()->currentSubWindow()->windowTitle().endsWith(QLatin1Char('*')));
    paste->trigger();
    EXPECT_EQ(h.Editor()->document()->firstBlock().text(), QStringLiteral("// comment"));
    // The accelerators: Alt+Backspace undoes, Shift+Insert pastes.
    QTest::keyClick(h.Editor(), Qt::Key_Backspace, Qt::AltModifier);
    EXPECT_EQ(h.Editor()->document()->firstBlock().text(), QStringLiteral("// "));
    QTest::keyClick(h.Editor(), Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(h.Editor()->document()->firstBlock().text(), QStringLiteral("// comment"));
    undo->trigger();
    EXPECT_EQ(h.Editor()->document()->firstBlock().text(), QStringLiteral("// "));

    // In the log the commands are off.
    h.Log()->setFocus();
    EXPECT_FALSE(paste->isEnabled());
    EXPECT_FALSE(undo->isEnabled());
    paste->trigger();
    EXPECT_EQ(h.Editor()->document()->firstBlock().text(), QStringLiteral("// "));

    // Saving writes the editor's text.
    h.Action(ID_SAVE_ALL)->trigger();
    EXPECT_EQ(ReadBytes(h.path), "// \r\nvar n = 0x10; /* a\r\nb */ MyObject.Print('x\xA0y');\r\n");
    h.Pump();
    EXPECT_FALSE(h.doc->IsModified());
}

TEST(ScriptWindow, ASyntaxErrorStartedFromTheWindowShowsItsLine)
{
    ScriptHarness h("var a = 1;\r\nvar b = 2;\r\nvar c = ;\r\nvar d = 4;\r\n");
    ASSERT_NE(h.view, nullptr);
    // The script's window closed (hidden) first.
    h.frame->MdiArea()->currentSubWindow()->close();
    h.Action(ID_START)->trigger();
    ASSERT_TRUE(h.WaitForRows(1));
    ASSERT_TRUE(h.WaitForStop());
    h.Pump();
    ASSERT_EQ(h.Log()->GetLineCount(), 1);
    const CScriptLogModel::SRow& row = h.Log()->Model().Row(0);
    EXPECT_EQ(row.nLevel, SL_ERROR);
    EXPECT_EQ(row.nLine, 2);
    EXPECT_TRUE(row.strText.endsWith(QStringLiteral(" (строка: 2)"))) << row.strText.toStdString();
    // The window came to the front with its log.
    QMdiSubWindow* sub = h.frame->MdiArea()->currentSubWindow();
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->widget(), h.view);
    EXPECT_TRUE(sub->isVisible());
    EXPECT_EQ(h.view->window()->focusWidget(), h.Log());

    h.Log()->setCurrentIndex(h.Log()->model()->index(0, 0));
    EXPECT_EQ(h.Selection(), h.LineRange(2));
    EXPECT_EQ(h.Editor()->textCursor().selectedText(), QStringLiteral("var c = ;\u2029"));
    EXPECT_FALSE(h.doc->IsModified());
}

TEST(ScriptWindow, EditingWhileRunningDoesNotChangeTheRun)
{
    ScriptHarness h(
        "while (true) {\r\n    MyObject.Print(\"A\");\r\n    MyObject.Sleep(5);\r\n}\r\n");
    ASSERT_NE(h.view, nullptr);
    h.Action(ID_START)->trigger();
    ASSERT_TRUE(h.App().IsRunning());
    ASSERT_TRUE(h.WaitForRows(1));
    // Edit the way a user does: select the letter and type over it.
    QTextCursor cursor(h.Editor()->document()->findBlockByNumber(1));
    cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::MoveAnchor, 20);
    cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
    ASSERT_EQ(cursor.selectedText(), QStringLiteral("A"));
    h.Editor()->setTextCursor(cursor);
    QTest::keyClicks(h.Editor(), QStringLiteral("B"));
    ASSERT_TRUE(h.Editor()->toPlainText().contains(QStringLiteral("Print(\"B\")")));
    // Closing the window only hides it; the script goes on.
    QMdiSubWindow* sub = h.frame->MdiArea()->currentSubWindow();
    ASSERT_EQ(sub->widget(), h.view);
    sub->close();
    EXPECT_FALSE(sub->isVisible());
    const int edited = h.Log()->GetLineCount();
    ASSERT_TRUE(h.WaitForRows(edited + 3));
    EXPECT_EQ(h.runtime->ScriptTemplate().GetDocumentCount(), 1u);
    h.Action(ID_STOP)->trigger();
    ASSERT_TRUE(h.WaitForStop());
    for (int r = 0; r < h.Log()->GetLineCount(); ++r)
        ASSERT_EQ(h.Log()->Model().Row(r).strText, QStringLiteral("A")) << r;

    // The next start runs the edited text, unsaved.
    h.Pump();
    EXPECT_TRUE(h.doc->IsModified());
    h.Log()->ClearLog();
    h.Action(ID_START)->trigger();
    ASSERT_TRUE(h.WaitForRows(1));
    h.Action(ID_STOP)->trigger();
    ASSERT_TRUE(h.WaitForStop());
    EXPECT_EQ(h.Log()->Model().Row(0).strText, QStringLiteral("B"));
    EXPECT_NE(ReadBytes(h.path).find("Print(\"A\")"), std::string::npos);
    h.doc->SetModifiedFlag(false);
}

TEST(ScriptHighlighter, ScansJavaScriptAndMyObject)
{
    using H = CScriptHighlighter;
    struct SCase
    {
        const char* szLine;
        int nStateIn;
        Tokens tokens;
        int nStateOut;
    };
    const SCase cases[] = {
        { "var x = MyObject.sleep(10); // c",
          H::LS_NONE,
          { { 0, 3, H::TK_KEYWORD },
            { 8, 8, H::TK_OBJECT },
            { 17, 5, H::TK_METHOD },
            { 23, 2, H::TK_NUMBER },
            { 28, 4, H::TK_COMMENT } },
          H::LS_NONE },
        // Escapes stay inside a string; a comment mark inside one is text.
        { R"(s = "a\"b//" + 'c';)",
          H::LS_NONE,
          { { 4, 8, H::TK_STRING }, { 15, 3, H::TK_STRING } },
          H::LS_NONE },
        { "if (a) /* open",
          H::LS_NONE,
          { { 0, 2, H::TK_KEYWORD }, { 7, 7, H::TK_COMMENT } },
          H::LS_COMMENT },
        { "still", H::LS_COMMENT, { { 0, 5, H::TK_COMMENT } }, H::LS_COMMENT },
        { "end */ return",
          H::LS_COMMENT,
          { { 0, 6, H::TK_COMMENT }, { 7, 6, H::TK_KEYWORD } },
          H::LS_NONE },
        { "`a ${b}", H::LS_NONE, { { 0, 7, H::TK_STRING } }, H::LS_TEMPLATE },
        { "c` + 1",
          H::LS_TEMPLATE,
          { { 0, 2, H::TK_STRING }, { 5, 1, H::TK_NUMBER } },
          H::LS_NONE },
        // A property named like a keyword, names holding digits, an unknown
        // method, the object's name in another case (not the engine's).
        { "o.delete(x1)", H::LS_NONE, {}, H::LS_NONE },
        { "MyObject . Nothing()", H::LS_NONE, { { 0, 8, H::TK_OBJECT } }, H::LS_NONE },
        { "myobject.Print(1)", H::LS_NONE, { { 15, 1, H::TK_NUMBER } }, H::LS_NONE },
        { "0x1F+1.5e3-.5",
          H::LS_NONE,
          { { 0, 4, H::TK_NUMBER }, { 5, 5, H::TK_NUMBER }, { 11, 2, H::TK_NUMBER } },
          H::LS_NONE },
        { "MyObject.SETIREG",
          H::LS_NONE,
          { { 0, 8, H::TK_OBJECT }, { 9, 7, H::TK_METHOD } },
          H::LS_NONE },
    };
    for (const SCase& c : cases) {
        int state = c.nStateIn;
        EXPECT_EQ(H::Scan(QString::fromUtf8(c.szLine), state), c.tokens) << c.szLine;
        EXPECT_EQ(state, c.nStateOut) << c.szLine;
    }
}

} // namespace
} // namespace korvex::test
