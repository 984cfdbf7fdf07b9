#include "ui/CSetupSerialDlg.h"

#include "net/CNetServer.h"
#include "ui/CComboSerial.h"
#include "ui/UiDialog.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSpinBox>
#include <QVBoxLayout>

namespace korvex {
namespace {

struct SItem
{
    const char* szText;
    int nCode;
};

// Fills the list and selects the item with the code, else the fallback.
void Fill(QComboBox* list, std::initializer_list<SItem> items, int code, int fallback)
{
    int selected = -1;
    int fallbackIndex = 0;
    for (const SItem& item : items) {
        list->addItem(QString::fromUtf8(item.szText), item.nCode);
        if (item.nCode == code && selected < 0)
            selected = list->count() - 1;
        if (item.nCode == fallback)
            fallbackIndex = list->count() - 1;
    }
    list->setCurrentIndex(selected >= 0 ? selected : fallbackIndex);
}

int Code(const QComboBox* list)
{
    return list->currentData().toInt();
}

// "[::1]:1502" or "127.0.0.1:1502", as the network options take it.
std::string EndpointText(const QLineEdit* address, const QSpinBox* port)
{
    const std::string host = address->text().trimmed().toStdString();
    const std::string p = std::to_string(port->value());
    return host.find(':') != std::string::npos ? "[" + host + "]:" + p : host + ":" + p;
}

} // namespace

CSetupSerialDlg::CSetupSerialDlg(const std::vector<SSerInfo>& ports, const SPortSettings& current,
                                 const std::string& sessionPort, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Параметры порта"));

    m_pPort = new CComboSerial(this);
    m_pPort->SetPorts(ports, sessionPort);
    // The stored port, else the first port not marked busy.
    int port = current.PORT;
    if (port < 0 || static_cast<std::size_t>(port) >= ports.size()) {
        port = -1;
        for (std::size_t i = 0; i < ports.size() && port < 0; ++i)
            if (!ports[i].m_bBusy)
                port = static_cast<int>(i);
    }
    m_nPorts = static_cast<int>(ports.size());
    m_nCurrentPort = current.PORT;
    m_currentInfo = current.m_info;
    m_pPort->AddNoPort();
    m_pPort->setCurrentIndex(current.NOSERIAL != 0 ? m_nPorts : port);

    m_pBaud = new QComboBox(this);
    std::initializer_list<SItem> rates = {
        { "110", 110 },       { "300", 300 },       { "600", 600 },       { "1200", 1200 },
        { "2400", 2400 },     { "4800", 4800 },     { "9600", 9600 },     { "14400", 14400 },
        { "19200", 19200 },   { "38400", 38400 },   { "56000", 56000 },   { "57600", 57600 },
        { "115200", 115200 }, { "128000", 128000 }, { "256000", 256000 },
    };
    Fill(m_pBaud, rates, static_cast<int>(current.BAUD), 9600);
    m_pDataBits = new QComboBox(this);
    Fill(m_pDataBits, { { "5", 5 }, { "6", 6 }, { "7", 7 }, { "8", 8 } }, current.DATABIT, 8);
    m_pParity = new QComboBox(this);
    Fill(m_pParity,
         { { "Чёт", 2 }, { "Нечёт", 1 }, { "Нет", 0 }, { "Маркер (1)", 3 }, { "Маркер (0)", 4 } },
         current.PARITY, 0);
    m_pStopBits = new QComboBox(this);
    Fill(m_pStopBits, { { "1", 0 }, { "1,5", 1 }, { "2", 2 } }, current.STOPBIT, 0);
    m_pFlow = new QComboBox(this);
    Fill(m_pFlow, { { "Xon/Xoff", 0 }, { "Аппаратное", 1 }, { "Нет", 2 } }, current.FLOWCTRL, 0);
    m_pFlow->setEnabled(false);
    m_pFlow->setToolTip(QStringLiteral("Управление потоком не используется при открытии порта"));

    m_pRts = new QCheckBox(QStringLiteral("Установить высокий уровень RTS"), this);
    m_pRts->setChecked(current.RTS_CTRL_HI != 0);
    m_pDtr = new QCheckBox(QStringLiteral("Установить высокий уровень DTR"), this);
    m_pDtr->setChecked(current.DTR_CTRL_HI != 0);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("COM порт:"), m_pPort);
    form->addRow(QStringLiteral("Скорость:"), m_pBaud);
    form->addRow(QStringLiteral("Биты данных:"), m_pDataBits);
    form->addRow(QStringLiteral("Чётность:"), m_pParity);
    form->addRow(QStringLiteral("Стоповые биты:"), m_pStopBits);
    form->addRow(QStringLiteral("Управление потоком:"), m_pFlow);
    auto* warning =
        new QLabel(QStringLiteral("ВНИМАНИЕ: Настройки не влияют на уже открытый сеанс!"), this);
    warning->setWordWrap(true);
    // The network, in any combination with the port.
    auto* net = new QGroupBox(QStringLiteral("Сеть"), this);
    auto* grid = new QGridLayout(net);
    const auto row = [this, net, grid](int r, const QString& name, const QString& tip, int on,
                                       const std::string& address, int port, QCheckBox*& box,
                                       QLineEdit*& edit, QSpinBox*& spin) {
        box = new QCheckBox(name, net);
        box->setChecked(on != 0);
        box->setToolTip(tip);
        edit = new QLineEdit(QString::fromStdString(address), net);
        edit->setToolTip(QStringLiteral("Адрес, на котором ждать ведущих: 127.0.0.1 — только этот "
                                        "компьютер,\n0.0.0.0 или :: — вся сеть"));
        spin = new QSpinBox(net);
        spin->setRange(0, 65535);
        spin->setValue(port);
        spin->setToolTip(QStringLiteral("Порт TCP (502 — стандартный, требует прав)"));
        grid->addWidget(box, r, 0);
        grid->addWidget(edit, r, 1);
        grid->addWidget(spin, r, 2);
        edit->setEnabled(box->isChecked());
        spin->setEnabled(box->isChecked());
        connect(box, &QCheckBox::toggled, edit, &QWidget::setEnabled);
        connect(box, &QCheckBox::toggled, spin, &QWidget::setEnabled);
    };
    row(0, QStringLiteral("Modbus TCP"), QStringLiteral("Заголовок MBAP, без CRC"), current.TCPON,
        current.TCPADDR, current.TCPPORT, m_pTcp, m_pTcpAddr, m_pTcpPort);
    row(1, QStringLiteral("RTU поверх TCP"), QStringLiteral("Кадры RTU с CRC в потоке TCP"),
        current.RTUTCPON, current.RTUTCPADDR, current.RTUTCPPORT, m_pRtuTcp, m_pRtuTcpAddr,
        m_pRtuTcpPort);
    grid->setColumnStretch(1, 1);

    QDialogButtonBox* buttons = OkCancelButtons(this);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_pRts);
    layout->addWidget(m_pDtr);
    layout->addWidget(net);
    layout->addWidget(warning);
    layout->addWidget(buttons);
    m_pPort->setMinimumWidth(260);
}

void CSetupSerialDlg::accept()
{
    for (const auto& [box, address, port] :
         { std::tuple{ m_pTcp, m_pTcpAddr, m_pTcpPort },
           std::tuple{ m_pRtuTcp, m_pRtuTcpAddr, m_pRtuTcpPort } }) {
        std::string error;
        if (box->isChecked() &&
            !ParseEndpoint(EndpointText(address, port), ENetFraming::Mbap, error)) {
            QMessageBox::warning(this, windowTitle(),
                                 QStringLiteral("Неверный адрес: %1").arg(address->text()));
            address->setFocus();
            return;
        }
    }
    QDialog::accept();
}

void CSetupSerialDlg::Apply(SPortSettings& s) const
{
    const int chosen = m_pPort->currentIndex();
    s.NOSERIAL = chosen == m_nPorts ? 1 : 0;
    // "нет" keeps the port chosen before for the day it is wanted again.
    const int port = s.NOSERIAL != 0 ? m_nCurrentPort : (m_nPorts == 0 ? -1 : chosen);
    s.PORT = port;
    s.m_info = s.NOSERIAL != 0 ? m_currentInfo : m_pPort->GetPort(port);
    s.TCPON = m_pTcp->isChecked() ? 1 : 0;
    s.TCPADDR = m_pTcpAddr->text().trimmed().toStdString();
    s.TCPPORT = m_pTcpPort->value();
    s.RTUTCPON = m_pRtuTcp->isChecked() ? 1 : 0;
    s.RTUTCPADDR = m_pRtuTcpAddr->text().trimmed().toStdString();
    s.RTUTCPPORT = m_pRtuTcpPort->value();
    s.BAUD = static_cast<std::uint32_t>(Code(m_pBaud));
    s.DATABIT = static_cast<std::uint8_t>(Code(m_pDataBits));
    s.PARITY = static_cast<std::uint8_t>(Code(m_pParity));
    s.STOPBIT = static_cast<std::uint8_t>(Code(m_pStopBits));
    s.FLOWCTRL = Code(m_pFlow);
    s.RTS_CTRL_HI = m_pRts->isChecked() ? 1 : 0;
    s.DTR_CTRL_HI = m_pDtr->isChecked() ? 1 : 0;
}

} // namespace korvex
