#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>
#include <functional>
#include <string>

class QLineEdit;

namespace korvex {

class CEditDexHex;

// "Изменить ID и адрес устройства": the device's ID as typed and its slave
// address, 1 to 255. An address above 255 is refused with a message (never
// cut to its low bits); address 0, the broadcast address no device answers,
// is kept only when the user confirms the warning.
class CChgDevIdDlg final : public QDialog
{
public:
    CChgDevIdDlg(const std::string& id, std::uint8_t addr, bool hex, QWidget* parent = nullptr);

    // A check of the typed ID that OK makes first: the refusal, or empty.
    // The dialog of a new device refuses an ID the project already has.
    using IdCheck = std::function<QString(const std::string& id)>;
    void SetIdCheck(IdCheck check) { m_fnIdCheck = std::move(check); }

    std::string GetId() const;
    std::uint8_t GetAddr() const;

    QLineEdit* IdEdit() const { return m_pId; }
    CEditDexHex* AddrEdit() const { return m_pAddr; }

    // The refusal or warning shown last; empty when none (tests read it).
    const QString& GetLastMessage() const { return m_strLastMessage; }

    void accept() override;

private:
    QLineEdit* m_pId{ nullptr };
    CEditDexHex* m_pAddr{ nullptr };
    QString m_strLastMessage;
    IdCheck m_fnIdCheck;
};

} // namespace korvex
