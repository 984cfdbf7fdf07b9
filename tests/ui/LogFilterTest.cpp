// The protocol log's filters, search, hold and return, copy and CSV export.

#include "core/Types.h"
#include "support/CChildProcess.h"
#include "support/TempDir.h"
#include "ui/CProtoBar.h"
#include "ui/Commands.h"

#include <QLineEdit>
#include <QScrollBar>
#include <QTableView>
#include <QToolButton>

#include <gtest/gtest.h>

namespace korvex::test {
namespace {

CProtoFeed::INTERNAL_ADDLINE Rec(int kind, const std::string& device, int addr,
                                 const std::string& text, std::string raw = {})
{
    const int function = raw.size() > 1 ? static_cast<unsigned char>(raw[1]) : -1;
    CProtoFeed::INTERNAL_ADDLINE rec = CProtoFeed::MakeRecord(
        kind, device, addr, text,
        LineFrame(reinterpret_cast<const std::uint8_t*>(raw.data()), raw.size(), function));
    rec.dwTick = 0;
    return rec;
}

// A known log: requests, answers, exceptions, a warning and unknown data.
CProtoFeed::Batch KnownLog()
{
    return {
        Rec(LK_REQUEST, "PUMP1", 1, "(0x03) Read Holding Registers, Адрес=0x0000", "\x01\x03"),
        Rec(LK_RESPONSE, "PUMP1", 1, "(0x03) Read Holding Registers, Количество=1", "\x01\x03"),
        Rec(LK_REQUEST, "GAUGE", 7, "(0x10) Write Multiple registers", "\x07\x10"),
        Rec(LK_ERROR, "GAUGE", 7, "Error: (0x90) Write Multiple registers, Exception code: 0x02",
            "\x07\x90"),
        Rec(LK_WARNING, "", -1, "предупреждение, с запятой и \"кавычками\""),
        Rec(LK_DATA, "", 0, "Неопознанные данные", "\xFF\xFF"),
        Rec(LK_REQUEST, "GAUGE", 7, "(0x03) Read Holding Registers, Адрес=0x0010", "\x07\x03"),
        Rec(LK_ERROR, "GAUGE", 7, "Error: (0x83) Read Holding Registers, Exception code: 0x02",
            "\x07\x83"),
    };
}

QStringList Shown(CProtoBar& bar)
{
    QStringList texts;
    const QAbstractItemModel* model = bar.View()->model();
    for (int r = 0; r < model->rowCount(); ++r)
        texts << model->index(r, CProtoLogModel::COL_TEXT).data().toString().left(12);
    return texts;
}

TEST(LogFilter, EachFilterTheSearchAndTheLimit)
{
    CCommandSet commands(nullptr);
    CProtoBar bar(commands, nullptr);
    bar.AddBatch(KnownLog(), 500);
    bar.Flush();
    const auto only = [&bar](SLogFilter f) {
        bar.SetFilter(f);
        QStringList rows;
        for (int r = 0; r < bar.Filtered().rowCount(); ++r)
            rows << QString::number(bar.Filtered().SourceRow(r));
        return rows.join(QLatin1Char(' '));
    };
    EXPECT_EQ(only({ QStringLiteral("gauge") }), QStringLiteral("2 3 6 7"));
    EXPECT_EQ(only({ QStringLiteral("7") }), QStringLiteral("2 3 6 7"));
    EXPECT_EQ(only({ QString(), 3 }), QStringLiteral("0 1 6 7"));
    EXPECT_EQ(only({ QString(), -1, SLogFilter::REQUESTS }), QStringLiteral("0 2 6"));
    EXPECT_EQ(only({ QString(), -1, SLogFilter::ANSWERS }), QStringLiteral("1 3 7"));
    EXPECT_EQ(only({ QString(), -1, SLogFilter::ALL, true }), QStringLiteral("3 4 5 7"));
    // Every exception answered to device 7.
    EXPECT_EQ(only({ QStringLiteral("7"), -1, SLogFilter::ALL, true }), QStringLiteral("3 7"));
    EXPECT_EQ(bar.View()->model(), &bar.Filtered());
    // The search goes round the rows shown, both ways.
    bar.SearchField()->setText(QStringLiteral("exception CODE"));
    ASSERT_TRUE(bar.FindNext(true));
    EXPECT_EQ(bar.View()->currentIndex().row(), 0);
    ASSERT_TRUE(bar.FindNext(true));
    EXPECT_EQ(bar.View()->currentIndex().row(), 1);
    ASSERT_TRUE(bar.FindNext(true));
    EXPECT_EQ(bar.View()->currentIndex().row(), 0);
    ASSERT_TRUE(bar.FindNext(false));
    EXPECT_EQ(bar.View()->currentIndex().row(), 1);
    bar.SearchField()->setText(QStringLiteral("нет такого"));
    EXPECT_FALSE(bar.FindNext(true));
    // No filter: the log model itself again.
    bar.SetFilter({});
    EXPECT_EQ(bar.View()->model(), &bar.Model());

    // The limit counts every row, shown or not; rows that arrive are
    // filtered as they come and leave with the log's oldest.
    bar.SetFilter({ QString(), -1, SLogFilter::ALL, true });
    for (int batch = 0; batch < 3; ++batch) {
        CProtoFeed::Batch rows;
        for (int i = 0; i < 100; ++i)
            rows.push_back(Rec(i % 10 == 0 ? LK_WARNING : LK_REQUEST, "D", 2,
                               "p" + std::to_string(batch * 100 + i)));
        bar.AddBatch(rows, 100);
        bar.Flush();
    }
    EXPECT_EQ(bar.GetLineCount(), 100);
    EXPECT_EQ(Shown(bar), (QStringList{ "p200", "p210", "p220", "p230", "p240", "p250", "p260",
                                        "p270", "p280", "p290" }));
}

TEST(LogFilter, HoldsWhileScrolledUpAndReturnsToTheBottom)
{
    CCommandSet commands(nullptr);
    CProtoBar bar(commands, nullptr);
    bar.resize(600, 240);
    bar.show();
    const auto add = [&bar](int from, int count) {
        CProtoFeed::Batch rows;
        for (int i = from; i < from + count; ++i)
            rows.push_back(Rec(LK_REQUEST, "D", 2, "r" + std::to_string(i), "\x02\x03"));
        bar.AddBatch(rows, 300);
        bar.Flush();
    };
    QScrollBar* scroll = bar.View()->verticalScrollBar();
    add(0, 200);
    EXPECT_EQ(scroll->value(), scroll->maximum());
    EXPECT_FALSE(bar.IsHolding());
    // Scrolled up: the rows in view stay, also while the limit drops rows.
    scroll->setValue(100);
    const QString top = bar.View()->indexAt(QPoint(2, 2)).siblingAtColumn(3).data().toString();
    add(200, 150);
    EXPECT_TRUE(bar.IsHolding());
    EXPECT_EQ(bar.GetArrivedWhileHeld(), 150);
    EXPECT_TRUE(bar.ArrivedButton()->isVisible());
    EXPECT_EQ(bar.ArrivedButton()->text(), QStringLiteral("▼ Новых строк: 150"));
    EXPECT_EQ(bar.View()->indexAt(QPoint(2, 2)).siblingAtColumn(3).data().toString(), top);
    bar.ArrivedButton()->click();
    EXPECT_FALSE(bar.IsHolding());
    EXPECT_FALSE(bar.ArrivedButton()->isVisible());
    EXPECT_EQ(scroll->value(), scroll->maximum());
    // A selected row holds too; copying gives the rows shown, tab-separated.
    const QModelIndex last = bar.Model().index(bar.Model().GetLineCount() - 1, 0);
    bar.View()->selectionModel()->select(QItemSelection(last.siblingAtRow(last.row() - 1), last),
                                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
    add(350, 5);
    EXPECT_TRUE(bar.IsHolding());
    EXPECT_EQ(bar.GetArrivedWhileHeld(), 5);
    EXPECT_EQ(bar.Model().GetLineCount(), 300);
    EXPECT_EQ(bar.SelectedRowsText(), QStringLiteral("0\tD\t2\tr348\n0\tD\t2\tr349\n"));
    bar.SetExtraColumns(2);
    EXPECT_EQ(bar.SelectedRowsText(),
              QStringLiteral("0\tD\t2\t02 03\tr348\n0\tD\t2\t02 03\tr349\n"));
}

TEST(LogFilter, CsvExportReadsBackWithAnIndependentParser)
{
    CCommandSet commands(nullptr);
    CProtoBar bar(commands, nullptr);
    bar.AddBatch(KnownLog(), 500);
    CTempDir dir;
    QString error;
    ASSERT_TRUE(bar.SaveCsv(QString::fromStdString(dir.File("all.csv")), false, &error))
        << error.toStdString();
    bar.SetFilter({ QStringLiteral("7"), -1, SLogFilter::ALL, true });
    ASSERT_TRUE(bar.SaveCsv(QString::fromStdString(dir.File("shown.csv")), true, &error));
    const std::string script = dir.Write("read.py", R"(import csv, os, sys
for name in sys.argv[1:]:
    with open(name, newline='', encoding='utf-8') as f:
        rows = list(csv.reader(f))
    print(os.path.basename(name), len(rows), rows[0])
    for r in rows[1:]:
        print(len(r), r[2], r[3], r[4], r[5], r[6], sep='|')
)");
    CChildProcess python("/usr/bin/python3",
                         { script, dir.File("all.csv"), dir.File("shown.csv") });
    ASSERT_EQ(python.Wait(), 0) << python.Stderr();
    const std::vector<std::string> lines = python.Lines();
    ASSERT_EQ(lines.size(), 12u) << python.Stdout();
    EXPECT_EQ(lines[0], "all.csv 9 ['time', 'relative_ms', 'device', 'address', 'kind', "
                        "'description', 'raw']");
    EXPECT_EQ(lines[1], "7|PUMP1|1|0|(0x03) Read Holding Registers, Адрес=0x0000|01 03");
    EXPECT_EQ(lines[5], "7|||5|предупреждение, с запятой и \"кавычками\"|");
    EXPECT_EQ(lines[6], "7|||3|Неопознанные данные|FF FF");
    EXPECT_EQ(lines[9].substr(0, 11), "shown.csv 3");
    EXPECT_EQ(lines[11], "7|GAUGE|7|4|Error: (0x83) Read Holding Registers, Exception code: "
                         "0x02|07 83");
}

} // namespace
} // namespace korvex::test
