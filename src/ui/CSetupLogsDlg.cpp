#include "ui/CSetupLogsDlg.h"

#include "ui/UiDialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include <limits>

namespace korvex {
namespace {

QLineEdit* DigitsEdit(int value, QWidget* parent)
{
    auto* edit = new QLineEdit(QString::number(value), parent);
    edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    edit->setToolTip(QStringLiteral("0 - без ограничения"));
    return edit;
}

QGroupBox* Group(const QString& title, const QString& label, QLineEdit* edit, QWidget* parent)
{
    auto* box = new QGroupBox(title, parent);
    auto* layout = new QVBoxLayout(box);
    auto* caption = new QLabel(label, box);
    caption->setBuddy(edit);
    layout->addWidget(caption);
    layout->addWidget(edit);
    return box;
}

} // namespace

CSetupLogsDlg::CSetupLogsDlg(const SSettings& current, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Параметры интерфейса"));
    m_pMaxLogP = DigitsEdit(current.MAXLOGP, this);
    m_pMaxLogS = DigitsEdit(current.MAXLOGS, this);
    m_pAddrHex = new QCheckBox(QStringLiteral("Выводить адреса ячеек 16-ричными"), this);
    m_pAddrHex->setChecked(current.ADDRISHEX != 0);
    m_pValueHex = new QCheckBox(QStringLiteral("Выводить значения ячеек 16-ричными"), this);
    m_pValueHex->setChecked(current.VALUEISHEX != 0);
    m_pEditHex =
        new QCheckBox(QStringLiteral("Настройка параметров устройств в 16-ричном виде"), this);
    m_pEditHex->setChecked(current.EDITHEX != 0);
    m_pStrict = new QCheckBox(QStringLiteral("Ответы строго по стандарту MODBUS"), this);
    m_pStrict->setChecked(current.MBSTRICT != 0);
    m_pStrict->setToolTip(
        QStringLiteral("Исключение 02 для отсутствующей ячейки, 03 для неверного количества,\n"
                       "01 для неподдерживаемой функции; функции 17, 22 и 23;\n"
                       "широковещательная запись (адрес 0) без ответа"));
    m_pCellRules = new QCheckBox(QStringLiteral("Соблюдать доступ и границы ячеек"), this);
    m_pCellRules->setChecked(current.MBCELLRULES != 0);
    m_pCellRules->setToolTip(
        QStringLiteral("Исключение 02 для записи в ячейку R и чтения ячейки W,\n"
                       "03 для значения регистра вне границ; запрос не выполняется"));

    QDialogButtonBox* buttons = OkCancelButtons(this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Group(QStringLiteral("Журнал протокола"),
                            QStringLiteral("Максимальное к-во строк в журнале протокола:"),
                            m_pMaxLogP, this));
    layout->addWidget(Group(QStringLiteral("Журналы скриптов"),
                            QStringLiteral("Максимальное к-во строк в журане скриптов:"),
                            m_pMaxLogS, this));
    layout->addWidget(m_pAddrHex);
    layout->addWidget(m_pValueHex);
    layout->addWidget(m_pEditHex);
    layout->addWidget(m_pStrict);
    layout->addWidget(m_pCellRules);
    layout->addWidget(buttons);
}

int CSetupLogsDlg::ParseLimit(const QString& text)
{
    bool ok = false;
    const qulonglong value = text.toULongLong(&ok, 10);
    if (!ok || text.isEmpty() || value > static_cast<qulonglong>(std::numeric_limits<int>::max()))
        return -1;
    return static_cast<int>(value);
}

void CSetupLogsDlg::accept()
{
    for (QLineEdit* edit : { m_pMaxLogP, m_pMaxLogS }) {
        if (ParseLimit(edit->text()) < 0) {
            QMessageBox::warning(this, QStringLiteral("Korvex"), QString::fromUtf8(kNotANumber));
            edit->setFocus();
            edit->selectAll();
            return;
        }
    }
    QDialog::accept();
}

void CSetupLogsDlg::Apply(SSettings& s) const
{
    s.MAXLOGP = ParseLimit(m_pMaxLogP->text());
    s.MAXLOGS = ParseLimit(m_pMaxLogS->text());
    s.ADDRISHEX = m_pAddrHex->isChecked() ? 1 : 0;
    s.VALUEISHEX = m_pValueHex->isChecked() ? 1 : 0;
    s.EDITHEX = m_pEditHex->isChecked() ? 1 : 0;
    s.MBSTRICT = m_pStrict->isChecked() ? 1 : 0;
    s.MBCELLRULES = m_pCellRules->isChecked() ? 1 : 0;
}

} // namespace korvex
