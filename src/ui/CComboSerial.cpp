#include "ui/CComboSerial.h"

#include "ui/UiText.h"

#include <QPainter>
#include <QStyledItemDelegate>

namespace korvex {
namespace {

constexpr int kFreeRole = Qt::UserRole + 1;

// Draws the marker: 16 pixels wide, as high as the item, the name 20 pixels
// right of the item's left edge.
class CPortDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        painter->save();
        const bool selected = option.state & QStyle::State_Selected;
        painter->fillRect(option.rect,
                          selected ? option.palette.highlight() : option.palette.base());
        const QRect marker(option.rect.left(), option.rect.top(), 16, option.rect.height() - 1);
        painter->setPen(option.palette.color(QPalette::Text));
        painter->setBrush(index.data(kFreeRole).toBool() ? QColor(0, 255, 0) : QColor(255, 0, 0));
        painter->drawRect(marker);
        painter->setPen(selected ? option.palette.color(QPalette::HighlightedText)
                                 : option.palette.color(QPalette::Text));
        const QRect text = option.rect.adjusted(20, 0, 0, 0);
        painter->drawText(text, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                          index.data(Qt::DisplayRole).toString());
        painter->restore();
    }
};

} // namespace

CComboSerial::CComboSerial(QWidget* parent) : QComboBox(parent)
{
    setItemDelegate(new CPortDelegate(this));
}

void CComboSerial::SetPorts(const std::vector<SSerInfo>& ports, const std::string& sessionPort)
{
    m_arPorts = ports;
    m_strSessionPort = sessionPort;
    clear();
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const SSerInfo& port = ports[i];
        addItem(Qs(port.m_strShownName));
        const bool free =
            !port.m_bBusy || (!sessionPort.empty() && port.m_strComName == sessionPort);
        setItemData(static_cast<int>(i), free, kFreeRole);
        QString tip = Qs(port.m_strOpenPath);
        if (!port.m_strDesc.empty())
            tip += QStringLiteral("\n") + Qs(port.m_strDesc);
        if (port.m_bBusy)
            tip += QStringLiteral("\nЗанят другой программой");
        setItemData(static_cast<int>(i), tip, Qt::ToolTipRole);
    }
}

void CComboSerial::AddNoPort()
{
    addItem(QStringLiteral("нет"));
    const int index = count() - 1;
    setItemData(index, true, kFreeRole);
    setItemData(index, QStringLiteral("Без последовательного порта: только сеть"), Qt::ToolTipRole);
}

SSerInfo CComboSerial::GetPort(int index) const
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_arPorts.size())
        return SSerInfo();
    return m_arPorts[static_cast<std::size_t>(index)];
}

bool CComboSerial::IsShownFree(int index) const
{
    return itemData(index, kFreeRole).toBool();
}

} // namespace korvex
