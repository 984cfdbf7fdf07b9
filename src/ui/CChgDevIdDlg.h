#pragma once

#include <QDialog>

#include <cstdint>
#include <string>

class QLineEdit;

namespace korvex {

class CEditDexHex;

// "Изменить ID и адрес устройства": the device's ID as typed and its slave
// address, 1 to 255. Nothing else is checked.
class CChgDevIdDlg final : public QDialog
{
public:
    CChgDevIdDlg(const std::string& id, std::uint8_t addr, bool hex, QWidget* parent = nullptr);

    std::string GetId() const;
    std::uint8_t GetAddr() const;

    QLineEdit* IdEdit() const { return m_pId; }
    CEditDexHex* AddrEdit() const { return m_pAddr; }

private:
    QLineEdit* m_pId{ nullptr };
    CEditDexHex* m_pAddr{ nullptr };
};

} // namespace korvex
