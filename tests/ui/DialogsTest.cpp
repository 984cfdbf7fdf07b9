// The port and interface dialogs: their lists, codes and fallbacks.

#include "UiHarness.h"
#include "ui/CComboSerial.h"
#include "ui/CFaultsDlg.h"
#include "ui/CSetupLogsDlg.h"
#include "ui/CSetupSerialDlg.h"
#include "ui/FileDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

namespace korvex::test {
namespace {

std::vector<SSerInfo> Ports()
{
    std::vector<SSerInfo> ports(3);
    const char* names[] = { "ttyS0", "ttyUSB0", "ttyUSB1" };
    for (int i = 0; i < 3; ++i) {
        ports[i].m_strComName = names[i];
        ports[i].m_strShownName = std::string("Порт (") + names[i] + ")";
    }
    ports[0].m_bBusy = true;
    ports[2].m_bBusy = true;
    return ports;
}

TEST(SetupSerialDlg, ListsSelectTheSettingsCodesOrTheirFallbacks)
{
    SPortSettings s;
    s.PORT = 7; // past the end: the first port not busy
    s.BAUD = 4000;
    s.DATABIT = 3;
    s.PARITY = 9;
    s.STOPBIT = 1;
    s.FLOWCTRL = 2;
    s.RTS_CTRL_HI = 0;
    CSetupSerialDlg dialog(Ports(), s, "", nullptr);
    EXPECT_EQ(dialog.PortList()->currentIndex(), 1);
    EXPECT_EQ(dialog.BaudList()->currentText(), QStringLiteral("9600"));
    EXPECT_EQ(dialog.DataBitsList()->currentText(), QStringLiteral("8"));
    EXPECT_EQ(dialog.ParityList()->currentText(), QStringLiteral("Нет"));
    EXPECT_EQ(dialog.StopBitsList()->currentText(), QStringLiteral("1,5"));
    EXPECT_EQ(dialog.FlowList()->currentText(), QStringLiteral("Нет"));
    EXPECT_FALSE(dialog.FlowList()->isEnabled());
    EXPECT_EQ(dialog.BaudList()->count(), 15);
    EXPECT_FALSE(dialog.PortList()->IsShownFree(0));

    dialog.ParityList()->setCurrentText(QStringLiteral("Чёт"));
    dialog.PortList()->setCurrentIndex(2);
    SPortSettings out = s;
    dialog.Apply(out);
    EXPECT_EQ(out.PARITY, 2);
    EXPECT_EQ(out.BAUD, 9600u);
    EXPECT_EQ(out.PORT, 2);
    EXPECT_EQ(out.m_info.m_strComName, "ttyUSB1");
    EXPECT_EQ(out.RTS_CTRL_HI, 0);
    EXPECT_EQ(out.DTR_CTRL_HI, 1);
    dialog.ParityList()->setCurrentText(QStringLiteral("Нечёт"));
    dialog.Apply(out);
    EXPECT_EQ(out.PARITY, 1);

    // The running session's own port shows free; no port at all gives -1.
    CSetupSerialDlg running(Ports(), s, "ttyUSB1", nullptr);
    EXPECT_TRUE(running.PortList()->IsShownFree(2));
    CSetupSerialDlg empty({}, s, "", nullptr);
    empty.Apply(out);
    EXPECT_EQ(out.PORT, -1);
    EXPECT_TRUE(out.m_info.m_strComName.empty());
}

TEST(SetupLogsDlg, LimitsMustBeUnsignedNumbers)
{
    SSettings s;
    s.MAXLOGP = 500;
    s.MAXLOGS = 0;
    s.VALUEISHEX = 0;
    CSetupLogsDlg dialog(s);
    EXPECT_EQ(dialog.MaxLogPEdit()->text(), QStringLiteral("500"));
    EXPECT_FALSE(dialog.ValueHexBox()->isChecked());
    EXPECT_TRUE(dialog.AddrHexBox()->isChecked());
    // Letters never reach the field.
    dialog.MaxLogPEdit()->clear();
    QTest::keyClicks(dialog.MaxLogPEdit(), QStringLiteral("12ab3"));
    EXPECT_EQ(dialog.MaxLogPEdit()->text(), QStringLiteral("123"));
    // An empty field is refused with the message; the dialog stays open.
    dialog.MaxLogSEdit()->clear();
    dialog.show();
    CloseNextModal();
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(CSetupLogsDlg::ParseLimit(QStringLiteral("0")), 0);
    EXPECT_EQ(CSetupLogsDlg::ParseLimit(QStringLiteral("99999999999")), -1);
    dialog.MaxLogSEdit()->setText(QStringLiteral("0"));
    dialog.EditHexBox()->setChecked(false);
    EXPECT_FALSE(dialog.StrictBox()->isChecked());
    dialog.StrictBox()->setChecked(true);
    EXPECT_FALSE(dialog.CellRulesBox()->isChecked());
    dialog.CellRulesBox()->setChecked(true);
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    dialog.Apply(s);
    EXPECT_EQ(s.MAXLOGP, 123);
    EXPECT_EQ(s.MAXLOGS, 0);
    EXPECT_EQ(s.EDITHEX, 0);
    EXPECT_EQ(s.MBSTRICT, 1);
    EXPECT_EQ(s.MBCELLRULES, 1);
}

TEST(FaultsDlg, FieldsGiveTheRulesAndARefusedRuleKeepsItOpen)
{
    SFaultRules current;
    ASSERT_EQ(ParseFaultRules("delay=50,exception=6:25", current), "");
    std::string applied;
    std::string refusal = "Правило отклонено";
    CFaultsDlg dialog("PUMP1", current, [&](const std::string& rules) {
        applied = rules;
        return refusal;
    });
    EXPECT_FALSE(dialog.OffBox()->isChecked());
    EXPECT_EQ(dialog.DelayEdit()->text(), QStringLiteral("50"));
    EXPECT_EQ(dialog.ExceptionSpin()->value(), 25);
    EXPECT_EQ(dialog.GetRuleText(), "delay=50,exception=6:25");
    // "Not answering" stands alone.
    dialog.OffBox()->setChecked(true);
    EXPECT_EQ(dialog.GetRuleText(), "off");
    EXPECT_FALSE(dialog.DelayEdit()->isEnabled());
    dialog.OffBox()->setChecked(false);
    dialog.CrcSpin()->setValue(10);
    dialog.ExceptionSpin()->setValue(100);
    EXPECT_EQ(dialog.GetRuleText(), "delay=50,crc=10,exception=6");
    dialog.ExceptionList()->setCurrentIndex(0);
    EXPECT_FALSE(dialog.ExceptionSpin()->isEnabled());

    dialog.show();
    CloseNextModal();
    dialog.accept();
    EXPECT_EQ(applied, "delay=50,crc=10");
    EXPECT_EQ(dialog.GetLastMessage(), QString::fromStdString(refusal));
    EXPECT_TRUE(dialog.isVisible());
    refusal.clear();
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

// The standard save dialog speaks Russian and gives a name typed without an
// extension the one of its filter, so the file is found again under it.
TEST(FileDialogs, SaveDialogsAppendTheFiltersExtensionAndSpeakRussian)
{
    CTempDir dir;
    QString buttons;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        for (QAbstractButton* button :
             dialog->findChild<QDialogButtonBox*>()->findChildren<QAbstractButton*>())
            buttons += button->text() + QLatin1Char('|');
        dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
            ->setText(QStringLiteral("graph-export"));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    const QString png =
        AskSavePath(nullptr, QStringLiteral("Сохранить график"), QString::fromStdString(dir.Path()),
                    QStringLiteral("Изображения PNG (*.png)"));
    EXPECT_EQ(png, QString::fromStdString(dir.File("graph-export.png")));
    EXPECT_TRUE(buttons.contains(QStringLiteral("Отмена"))) << buttons.toStdString();

    EXPECT_EQ(WithFilterSuffix(QStringLiteral("/a/p1"), QStringLiteral("Файлы проекта (*.kvxp)")),
              QStringLiteral("/a/p1.kvxp"));
    EXPECT_EQ(WithFilterSuffix(QStringLiteral("/a.b/p1.txt"), QStringLiteral("X (*.kvxp)")),
              QStringLiteral("/a.b/p1.txt"));
    EXPECT_EQ(WithFilterSuffix(QStringLiteral("/a.b/log"), QStringLiteral("Все файлы (*)")),
              QStringLiteral("/a.b/log"));
}

} // namespace
} // namespace korvex::test
