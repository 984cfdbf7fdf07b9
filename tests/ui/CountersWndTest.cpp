// The counters window: what a master's requests did, live, and the reset.

#include "UiHarness.h"
#include "ui/CCountersModel.h"
#include "ui/CCountersWnd.h"

#include <QAbstractItemModelTester>
#include <QPushButton>
#include <QTest>

#include <modbus/modbus.h>

namespace korvex::test {
namespace {

// The value of a column of the row of the model as a number.
qulonglong At(const CCountersModel& model, int row, int column)
{
    return model.data(model.index(row, column)).toULongLong();
}

TEST(CountersWnd, ShowsWhatTheMasterDidLiveAndResets)
{
    UiHarness h(false);
    h.dir.Write("pump.kvxd", "PUMP1\t1\r\nHREG\td\tR\t0\tRW\t0-9\t1\r\n");
    h.frame->OpenStartupProject(QString::fromStdString(h.dir.Write("p.kvxp", ".\\pump.kvxd\r\n")));
    h.Action(ID_START)->trigger();
    ASSERT_TRUE(h.App().IsRunning());
    // The answers leave from the port's thread: the master needs no event
    // loop.
    modbus_t* ctx = modbus_new_rtu(h.dir.File("tty").c_str(), 9600, 'N', 8, 1);
    modbus_set_slave(ctx, 1);
    ASSERT_EQ(modbus_connect(ctx), 0);
    modbus_flush(ctx);
    const auto read = [ctx](int addr) {
        std::uint16_t value = 0;
        return modbus_read_registers(ctx, addr, 1, &value);
    };
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(read(0), 1);
    EXPECT_EQ(read(5), -1) << "no such register: exception 04";

    h.Action(ID_VIEW_COUNTERS)->trigger();
    auto* wnd = h.frame->findChild<CCountersWnd*>();
    ASSERT_NE(wnd, nullptr);
    EXPECT_TRUE(wnd->isVisible());
    const CCountersModel& devices = wnd->DeviceModel();
    const CCountersModel& transports = wnd->TransportModel();
    QAbstractItemModelTester deviceTester(&wnd->DeviceModel());
    QAbstractItemModelTester transportTester(&wnd->TransportModel());
    // PUMP1, then the total.
    ASSERT_EQ(devices.rowCount(), 2);
    EXPECT_EQ(devices.data(devices.index(0, 0)).toString(), QStringLiteral("PUMP1"));
    EXPECT_EQ(At(devices, 0, 1), 1u);
    EXPECT_EQ(At(devices, 0, 2), 5u) << "requests";
    EXPECT_EQ(At(devices, 0, 3), 5u) << "answers";
    EXPECT_EQ(At(devices, 0, 4), 1u) << "exceptions";
    EXPECT_EQ(devices.data(devices.index(0, 4), Qt::ToolTipRole).toString(),
              QStringLiteral("По кодам: 04: 1"));
    EXPECT_EQ(At(devices, 0, 5), 0u) << "no answer";
    EXPECT_EQ(At(devices, 0, 6), 40u) << "bytes in";
    EXPECT_EQ(At(devices, 0, 7), 4u * 7 + 5) << "bytes out";
    EXPECT_EQ(devices.data(devices.index(1, 0)).toString(), QStringLiteral("Всего"));
    EXPECT_EQ(At(devices, 1, 2), 5u);
    EXPECT_EQ(devices.headerData(2, Qt::Horizontal).toString(), QStringLiteral("Запросы"));
    ASSERT_EQ(transports.rowCount(), 1);
    EXPECT_EQ(transports.data(transports.index(0, 0)).toString(),
              QStringLiteral("Последовательная линия"));
    EXPECT_EQ(At(transports, 0, 1), 5u) << "frames";

    // The window follows by itself while it is shown.
    EXPECT_TRUE(wnd->IsRefreshing());
    EXPECT_EQ(read(0), 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return At(devices, 0, 2) == 6; }, 5000));

    wnd->ResetButton()->click();
    EXPECT_EQ(At(devices, 0, 2), 0u);
    EXPECT_EQ(At(devices, 0, 4), 0u);
    EXPECT_EQ(At(devices, 1, 7), 0u);
    EXPECT_EQ(At(transports, 0, 1), 0u);
    EXPECT_EQ(h.App().GetCounters().Snapshot().total.nRequests, 0u);

    // Hidden, it reads nothing; asked for again, the same window comes back.
    wnd->hide();
    EXPECT_FALSE(wnd->IsRefreshing());
    h.Action(ID_VIEW_COUNTERS)->trigger();
    EXPECT_EQ(h.frame->findChildren<CCountersWnd*>().size(), 1);
    EXPECT_TRUE(wnd->IsRefreshing());

    modbus_close(ctx);
    modbus_free(ctx);
    h.Action(ID_STOP)->trigger();
}

} // namespace
} // namespace korvex::test
