#pragma once
// The readings panel's form (dialog 115): the present value of one slot temperature or
// supply current, and the commands that set a limit, save the mainframe's settings and
// send a text to the mainframe's display.
#include "controls/ColorLabel.h"
#include "panels/PanelForm.h"
#include "panels/ReadingExport.h"
#include "platform/DrawContext.h"

#include <QString>

class CReadObj;
class QComboBox;
class QPushButton;

constexpr int IDC_PANEL_FRAME = 1106;
constexpr int IDC_TAKE_READING = 1091;
constexpr int IDC_READING = 1111;
constexpr int IDC_OBJECT_LIST = 1112;
constexpr int IDC_NV_SAVE = 1115;
constexpr int IDC_LIMIT = 1117;
constexpr int IDC_SET_LIMIT = 1118;
constexpr int IDC_MESSAGE = 1119;
constexpr int IDC_SEND = 1120;
constexpr int IDC_READING_CAPTION = 1121;

class CReadForm : public CPanelForm {
    Q_OBJECT
public:
    CReadForm(CReadObj* panel, QMainWindow* frame);

    // Reads the chosen object's present value and shows it in the display at once.
    void TakeReading();
    // Fills the object list for the panel's type and selects the panel's object.
    void FillObjectList();
    // true: controls to members; false: members to the two text fields.
    void UpdateData(bool saveAndValidate);
    // The dark grey client area with the raised light grey panel around control 1106.
    void Paint(platform::DrawContext& dc) const;

    CReadObj* m_pPanel;
    QPushButton* m_pSetLimit;
    QComboBox* m_pObjectList;
    CColorLabel m_display;
    QString m_strObject;
    QString m_strLimit;
    QString m_strMessage;
    ShownReading m_shownReading; // the last reading put in the display

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void OnInitDialog();
    void ConnectControls();
    void OnTypeChange(int type);
    void OnObjectChosen(int index);
    void OnSetLimit();
    void OnNvSave();
    void OnSend();
    // The object code of the list's current position for the panel's type.
    int SelectedObjectCode() const;
};
