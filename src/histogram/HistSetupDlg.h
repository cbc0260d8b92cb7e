#pragma once
// The Histogram Setup dialog (dialog 113): the auto-update period as free text, which the
// panel sets before the run and converts after OK, and the time unit in which the
// mainframe keeps its histograms, read from and sent to the instrument by the dialog.
#include <QDialog>
#include <QString>

class QComboBox;
class QLineEdit;

// Time-unit codes: the list position plus kFirstTimeUnit.
constexpr int kFirstTimeUnit = 17; // hours; 18 minutes, 19 seconds

// The time unit's name as the dialog's list shows it; hours for a code it does not hold.
const char* TimeUnitName(int code);

class CHistSetupDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int IDC_PERIOD = 1103;
    static constexpr int IDC_UNITS = 1105;

    explicit CHistSetupDlg(QWidget* owner = nullptr);

    // Runs the dialog modally; its initialisation reads the instrument's time unit.
    int exec() override;
    void UpdateData(bool saveAndValidate);

    QString m_strPeriod;
    int m_nUnits = -1;     // the selected time unit's list position; -1 for none
    int m_nUnitsRead = -1; // the position of the unit read from the instrument; -1 for none

private:
    void OnInitDialog();
    void OnOK();

    QLineEdit* m_period;
    QComboBox* m_units;
};
