// The protocol log's rows: limit, times, batches, clearing.

#include "core/CDevDoc.h"
#include "core/CKorvexApp.h"
#include "core/CQueuePoster.h"
#include "support/CoreHarness.h"
#include "ui/CProtoLogModel.h"

#include <QAbstractItemModelTester>

#include <gtest/gtest.h>

namespace korvex::test {
namespace {

CProtoFeed::INTERNAL_ADDLINE Line(const std::string& text, std::uint32_t tick, int kind = 5)
{
    CProtoFeed::INTERNAL_ADDLINE rec = CProtoFeed::MakeRecord(kind, "D", 3, text);
    rec.dwTick = tick;
    return rec;
}

QStringList Texts(const CProtoLogModel& model)
{
    QStringList texts;
    for (int r = 0; r < model.rowCount(); ++r)
        texts << model.Row(r).strText;
    return texts;
}

TEST(ProtoLog, TheLimitDropsOneOldRowPerNewRowAndZeroKeepsEverything)
{
    CProtoLogModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.AddBatch({ Line("a", 0), Line("b", 0) }, 3);
    model.AddBatch({ Line("c", 0), Line("d", 0) }, 3);
    EXPECT_EQ(Texts(model), (QStringList{ "b", "c", "d" }));
    // A batch larger than the limit shows its last rows only.
    model.AddBatch({ Line("e", 0), Line("f", 0), Line("g", 0), Line("h", 0) }, 3);
    EXPECT_EQ(Texts(model), (QStringList{ "f", "g", "h" }));
    // A lowered limit does not shrink the list: one row goes per row in.
    model.AddBatch({ Line("i", 0) }, 2);
    EXPECT_EQ(Texts(model), (QStringList{ "g", "h", "i" }));
    // No limit.
    for (int i = 0; i < 10; ++i)
        model.AddBatch({ Line("n", 0) }, 0);
    EXPECT_EQ(model.GetLineCount(), 13);
    // After a clear the next row is row 0 and shows the time since the last
    // row before the clear.
    model.AddBatch({ Line("t", 1000) }, 0);
    model.Clear();
    model.AddBatch({ Line("u", 1250) }, 0);
    ASSERT_EQ(model.GetLineCount(), 1);
    EXPECT_EQ(model.Row(0).strText, QStringLiteral("u"));
    EXPECT_EQ(model.data(model.index(0, CProtoLogModel::COL_TIME), Qt::DisplayRole),
              QStringLiteral("250"));
}

TEST(ProtoLog, TimesColumnsAndIcons)
{
    CProtoLogModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    auto noAddress = Line("x", 5000);
    noAddress.nAddress = -1;
    auto broadcast = Line("y", 5100, 0);
    broadcast.nAddress = 0;
    // The first row after a reset shows 0; a tick that wrapped still counts.
    model.AddBatch({ Line("a", 0xFFFFFF00u), Line("b", 0x10u) }, 0);
    model.ResetTimeBase();
    model.AddBatch({ noAddress, broadcast }, 0);
    auto cell = [&](int row, int column) {
        return model.data(model.index(row, column), Qt::DisplayRole).toString();
    };
    EXPECT_EQ(cell(0, CProtoLogModel::COL_TIME), QStringLiteral("0"));
    EXPECT_EQ(cell(1, CProtoLogModel::COL_TIME), QStringLiteral("272"));
    EXPECT_EQ(cell(2, CProtoLogModel::COL_TIME), QStringLiteral("0"));
    EXPECT_EQ(cell(3, CProtoLogModel::COL_TIME), QStringLiteral("100"));
    EXPECT_EQ(cell(0, CProtoLogModel::COL_ADDRESS), QStringLiteral("3"));
    EXPECT_EQ(cell(2, CProtoLogModel::COL_ADDRESS), QString());
    EXPECT_EQ(cell(3, CProtoLogModel::COL_ADDRESS), QString());
    EXPECT_EQ(cell(0, CProtoLogModel::COL_DEVICE), QStringLiteral("D"));
    EXPECT_EQ(model.headerData(3, Qt::Horizontal, Qt::DisplayRole),
              QStringLiteral(" Описание по протоколу MODBUS "));
    EXPECT_FALSE(model.data(model.index(3, 0), Qt::DecorationRole).value<QIcon>().isNull());
}

TEST(ProtoLog, AnAnsweredRequestShowsTheRequestThenTheAnswerInOneBatch)
{
    CoreHarness h;
    CProtoLogModel model;
    int batches = 0;
    h.app.SetLineSink([&](const CProtoFeed::Batch& batch) {
        ++batches;
        model.AddBatch(batch, 500);
    });
    CDevDoc dev(h.app);
    dev.SetDevId("D");
    dev.SetDevAddr(2);
    dev.AddItem(HREG, "R", "r", 0, ACCESS_RW, 0, 65535, 0);
    const Bytes request = WithCrc(Hex("02 03 00 00 00 01"));
    h.app.OnReceive(request.data(), static_cast<std::uint32_t>(request.size()));
    h.app.OnReceive(request.data(), static_cast<std::uint32_t>(request.size()));
    h.poster.Pump();
    EXPECT_EQ(batches, 1);
    ASSERT_EQ(model.GetLineCount(), 4);
    for (int r = 0; r < 4; r += 2) {
        EXPECT_EQ(model.Row(r).nKind, LK_REQUEST);
        EXPECT_EQ(model.Row(r + 1).nKind, LK_RESPONSE);
    }
}

} // namespace
} // namespace korvex::test
