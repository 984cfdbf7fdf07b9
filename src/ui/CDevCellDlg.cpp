#include "ui/CDevCellDlg.h"

#include "ui/CEditDexHex.h"
#include "ui/UiDialog.h"
#include "ui/UiText.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QVBoxLayout>

namespace korvex {

CDevCellDlg::CDevCellDlg(bool hex, QWidget* parent) : QDialog(parent)
{
    // The caption until Open gives the dialog its own, as in the Windows
    // program.
    setWindowTitle(QStringLiteral("нет"));
    m_pType = new QComboBox(this);
    m_pType->addItems({ QStringLiteral("COIL"), QStringLiteral("DISCRETE INPUT"),
                        QStringLiteral("HOLDING REGISTER"), QStringLiteral("INPUT REGISTER") });
    m_pId = new QLineEdit(QStringLiteral("V1"), this);
    m_pDesc = new QLineEdit(QStringLiteral("Ячейка"), this);
    m_pAccess = new QComboBox(this);
    m_pAccess->addItems({ QStringLiteral("R - только чтение"), QStringLiteral("W - только запись"),
                          QStringLiteral("RW - чтение и запись") });
    m_pAccess->setCurrentIndex(ACCESS_RW);
    m_pValue = new CEditDexHex(hex, this);
    m_pAddr = new CEditDexHex(hex, this);
    m_pMin = new CEditDexHex(hex, this);
    m_pMax = new CEditDexHex(hex, this);
    m_pId->setToolTip(QStringLiteral("По идентификатору к ячейке обращаются скрипты"));
    m_pAddr->setToolTip(QStringLiteral("Адрес ячейки в терминах MODBUS"));
    // Room for a description of a few words.
    m_pDesc->setMinimumWidth(fontMetrics().averageCharWidth() * 45);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Тип:"), m_pType);
    form->addRow(QStringLiteral("Идентификатор:"), m_pId);
    form->addRow(QStringLiteral("Описание:"), m_pDesc);
    form->addRow(QStringLiteral("Адрес:"), m_pAddr);
    form->addRow(QStringLiteral("Доступ:"), m_pAccess);
    form->addRow(QStringLiteral("Нижняя граница:"), m_pMin);
    form->addRow(QStringLiteral("Верхняя граница:"), m_pMax);
    form->addRow(QStringLiteral("Значение:"), m_pValue);
    QDialogButtonBox* buttons = OkCancelButtons(this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);

    connect(m_pType, &QComboBox::currentIndexChanged, this, [this](int type) {
        if (!m_bSetting)
            OnTypeChanged(type);
    });
}

void CDevCellDlg::SetFields(const SCellFields& f)
{
    m_bSetting = true;
    m_pType->setCurrentIndex(f.nType);
    m_pId->setText(Qs(f.strId));
    m_pDesc->setText(Qs(f.strDesc));
    m_pAccess->setCurrentIndex(f.nAccess);
    m_pAddr->SetNumber(f.wAddr);
    m_pMin->SetNumber(f.wMin);
    m_pMax->SetNumber(f.wMax);
    m_pValue->SetNumber(f.wValue);
    m_bSetting = false;
}

SCellFields CDevCellDlg::GetFields() const
{
    SCellFields f;
    f.nType = m_pType->currentIndex();
    f.strId = Ss(m_pId->text());
    f.strDesc = Ss(m_pDesc->text());
    f.wAddr = m_pAddr->GetNumber();
    f.nAccess = m_pAccess->currentIndex();
    f.wMin = m_pMin->GetNumber();
    f.wMax = m_pMax->GetNumber();
    f.wValue = m_pValue->GetNumber();
    return f;
}

void CDevCellDlg::OnTypeChanged(int type)
{
    // Coils and inputs hold 0 or 1; registers any word.
    const bool bits = type == COIL || type == DINP;
    m_pMin->SetRange(0, 0xFFFF);
    m_pMax->SetRange(0, 0xFFFF);
    m_pMin->SetNumber(0);
    m_pMax->SetNumber(bits ? 1 : 0xFFFF);
    if (type == DINP || type == IREG)
        m_pAccess->setCurrentIndex(ACCESS_R);
    else if (type == HREG)
        m_pAccess->setCurrentIndex(ACCESS_RW);
    if (bits && m_pValue->GetNumber() > 1)
        m_pValue->SetNumber(1);
    EnableForType(type);
}

void CDevCellDlg::EnableForType(int type)
{
    const bool bits = type == COIL || type == DINP;
    m_pAccess->setEnabled(type == COIL || type == HREG);
    m_pValue->SetRange(0, bits ? 1 : 0xFFFF);
    m_pMin->setEnabled(!bits);
    m_pMax->setEnabled(!bits);
}

int CDevCellDlg::Open(CDevDoc& device, Mode mode, bool hex)
{
    m_pDevice = &device;
    m_mode = mode;
    const bool editMode = mode != Mode::New;
    for (CEditDexHex* edit : { m_pValue, m_pAddr, m_pMin, m_pMax })
        edit->SetHex(hex);
    m_strLastMessage.clear();
    setWindowTitle(editMode ? QStringLiteral("Изменение ячейки") : QStringLiteral("Новая ячейка"));
    // The first new cell of the run gets the rules of its type.
    if (!editMode && !m_bOpened)
        OnTypeChanged(m_pType->currentIndex());
    m_bOpened = m_bOpened || !editMode;
    m_pType->setEnabled(!editMode);
    m_pId->setEnabled(!editMode);
    m_pAddr->setEnabled(!editMode);
    m_pDesc->setEnabled(true);
    EnableForType(m_pType->currentIndex());
    if (mode == Mode::Value) {
        // Masters poll the cell: only its value can change.
        for (QWidget* field : std::initializer_list<QWidget*>{ m_pDesc, m_pAccess, m_pMin, m_pMax })
            field->setEnabled(false);
    }
    if (editMode)
        QTimer::singleShot(0, this, [this] { m_pValue->setFocus(Qt::OtherFocusReason); });
    return exec();
}

void CDevCellDlg::accept()
{
    // A number too large for its field is refused before anything else: its
    // field holds no value that could be tested.
    for (CEditDexHex* edit : { m_pAddr, m_pMin, m_pMax, m_pValue }) {
        if (edit->isEnabled() && edit->IsOverflow()) {
            m_strLastMessage = edit->GetOverflowMessage();
            QMessageBox::warning(this, QStringLiteral("Ошибка"), m_strLastMessage);
            edit->setFocus();
            return;
        }
    }
    SCellFields f = GetFields();
    const CellEditError error = m_pDevice != nullptr
                                    ? m_pDevice->ValidateItem(f, m_mode == Mode::New)
                                    : CellEditError::None;
    if (error != CellEditError::None) {
        m_strLastMessage = QString::fromUtf8(CDevDoc::GetCellEditMessage(error));
        QMessageBox::warning(this, QStringLiteral("Ошибка"), m_strLastMessage);
        return;
    }
    if (f.strDesc.empty())
        m_pDesc->setText(Qs(CDevDoc::DefaultDescription(f.strId)));
    QDialog::accept();
}

} // namespace korvex
