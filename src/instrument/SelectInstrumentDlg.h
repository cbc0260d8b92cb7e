#pragma once
// The Select Instrument dialog (dialog 107): the operator picks one of the resources that
// discovery found. After OK, m_strSelected holds the chosen resource descriptor, byte for
// byte as the search returned it.
#include <QDialog>

#include <span>
#include <string>

class QComboBox;

class CSelectInstrumentDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int IDC_INSTRUMENTLIST = 110;

    // candidates are borrowed for the dialog's life and listed in their order.
    CSelectInstrumentDlg(QWidget* parent, std::span<const std::string> candidates);

    std::string m_strSelected;

private:
    void OnInitDialog();
    void OnOK();

    std::span<const std::string> m_candidates;
    QComboBox* m_list;
};
