#pragma once

#include <QDialog>

#include <cstdint>

class QComboBox;

namespace korvex {

class CDevDoc;
class CDevItem;
class CEditDexHex;

// "Перейти к адресу": a kind and an address; OK finds the cell, or keeps the
// dialog open with a message when the device has none there.
// User-interface thread.
class CGoToCellDlg final : public QDialog
{
public:
    CGoToCellDlg(const CDevDoc& device, bool hex, QWidget* parent = nullptr);

    // The cell found by OK.
    CDevItem* GetItem() const { return m_pItem; }
    QComboBox* TypeList() const { return m_pType; }
    CEditDexHex* AddrEdit() const { return m_pAddr; }
    const QString& GetLastMessage() const { return m_strLastMessage; }

    void accept() override;

private:
    const CDevDoc& m_device;
    QComboBox* m_pType{ nullptr };
    CEditDexHex* m_pAddr{ nullptr };
    CDevItem* m_pItem{ nullptr };
    QString m_strLastMessage;
};

} // namespace korvex
