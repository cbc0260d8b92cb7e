#pragma once
// The History Reset dialog (dialog 111): clears the mainframe's history of one blower,
// supply, slot sensor, the queue or everything. Each reset button acts at once and the
// dialog stays open for further resets until OK, Esc or the close box.
#include <QDialog>
#include <QString>

class QComboBox;

class CHistResetDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int IDC_RESETALL = 1092;
    static constexpr int IDC_RESETBLOWER = 1093;
    static constexpr int IDC_RESETPOWER = 1094;
    static constexpr int IDC_RESETCURRENT = 1095;
    static constexpr int IDC_RESETQUE = 1096;
    static constexpr int IDC_RESETTEMP = 1097;
    static constexpr int IDC_RESETVOLT = 1098;
    static constexpr int IDC_BLOWER = 1100;
    static constexpr int IDC_SUPPLY = 1101;
    static constexpr int IDC_SLOT = 1102;

    explicit CHistResetDlg(QWidget* owner = nullptr);

    // Members from the fields' texts as they stand, or each field onto the first list
    // entry that begins with its member's text.
    void UpdateData(bool saveAndValidate);

    QString m_strBlower;
    QString m_strSupply;
    QString m_strSlot;

private:
    void OnResetButton(const char* keyword, const QString* name);
    void OnOK();

    QComboBox* m_blower;
    QComboBox* m_supply;
    QComboBox* m_slot;
};
