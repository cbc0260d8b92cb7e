#pragma once
// The histogram panel's form (dialog 103): a ten-bar chart of one quantity's histogram on
// a raised panel, the choice of kind and object, the instrument's name and status lamp,
// and the buttons that take a reading and open the Setup and History Reset dialogs.
#include "histogram/Histo.h"
#include "panels/PanelForm.h"
#include "platform/DrawContext.h"

#include <QImage>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

namespace platform {
struct ExportTable;
}

class CPan1Obj;
class QComboBox;

// The Setup dialog's period text as whole seconds, read as atoi reads it (leading blanks,
// an optional sign, the digits up to the first other character; 0 without digits), times
// 1000, all modulo 2^32: the auto-update interval in milliseconds.
std::uint32_t PeriodTextToMilliseconds(const QString& text);

class CPan1Form : public CPanelForm {
    Q_OBJECT
public:
    static constexpr int IDC_TOPBAR = 1000;
    static constexpr int IDC_BADGE = 1001;
    static constexpr int IDC_LOGO = 1002;
    static constexpr int IDC_LAMP = 1003;
    static constexpr int IDC_PANELBAR = 1004;
    static constexpr int IDC_SLOTTEXT = 1005;
    static constexpr int IDC_SPARELABEL = 1007;
    static constexpr int IDC_INSTRUMENTNAME = 1008;
    static constexpr int IDC_PANELFRAME = 1009;
    static constexpr int IDC_CHARTAREA = 1080;
    static constexpr int IDC_TITLE = 1081;
    static constexpr int IDC_KINDLIST = 1082;
    static constexpr int IDC_HISTRESET = 1084;
    static constexpr int IDC_OBJECTLIST = 1085;
    static constexpr int IDC_SETUP = 1086;
    static constexpr int IDC_OBJECTLABEL = 1087;
    static constexpr int IDC_TAKEREADING = 1091;

    CPan1Form(CPan1Obj* panel, QMainWindow* frame);
    ~CPan1Form() override;

    // A new chart for the chosen kind, filled from the instrument; the object list, its
    // caption and the title set up for that kind.
    void RebuildHistogram();
    // Refills the chart from the instrument and draws it before returning; after a
    // failure the chart keeps what it showed.
    void TakeReading();
    // The form's own picture: the dark background, the raised panel and the chart.
    void Paint(platform::DrawContext& dc) const;
    // Shows m_strObjectLabel and m_strTitle in their controls, or reads them back.
    void UpdateData(bool saveAndValidate);

    CPan1Obj* m_pPanel;
    std::unique_ptr<Chisto> m_pHisto;
    QString m_strObjectLabel;
    QString m_strTitle;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void OnInitDialog();
    void OnKindChosen(int position);
    void OnObjectChosen(int position);
    void OnHistReset();
    void OnSetup();
    // An empty chart in the chart area, not yet read.
    void NewChart();
    // The three histogram parts into the chart; false (reported) when a call failed.
    bool FillFromInstrument(int code, const QString& unit);
    void FillObjectList();
    int StoredObjectPosition() const;
    // The chart's title and values for assistive technologies.
    void DescribeChart();
    // The chart's values with the time unit they were taken in: the one the Setup dialog
    // read after the reading, or else read from the instrument now; nothing on failure.
    std::optional<platform::ExportTable> ChartTable();
    QImage ChartImage();

    QComboBox* m_kindList;
    QComboBox* m_objectList;
    // Lies over the chart: its context menu, and the chart's face to assistive technologies.
    QWidget* m_chartView;
    // The time unit the chart's counts were taken in, once known; empty until then.
    QString m_strChartTimeUnit;
    QString m_strChartQuantity; // the quantity the chart shows, as "KIND OBJECT"; empty
                                // while the chart holds no reading
};
