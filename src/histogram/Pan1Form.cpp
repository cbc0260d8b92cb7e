#include "histogram/Pan1Form.h"

#include "app/MainFrame.h"
#include "app/SfpApp.h"
#include "controls/BitmapStatic.h"
#include "controls/ColorLabel.h"
#include "controls/LedButton.h"
#include "controls/SfpColor.h"
#include "histogram/HistResetDlg.h"
#include "histogram/HistSetupDlg.h"
#include "histogram/HistoExport.h"
#include "histogram/HistoFill.h"
#include "histogram/Pan1Obj.h"
#include "instrument/CallInstrument.h"
#include "platform/Accessibility.h"
#include "platform/DialogBuilder.h"
#include "platform/ExportMenu.h"
#include "platform/QtDrawContext.h"
#include "platform/WaitCursor.h"
#include "resources/ResourceIds.h"

#include <QComboBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include <algorithm>
#include <array>

using platform::ColorRef;
using platform::ControlKind;
using platform::Rect;

namespace {

constexpr const char* kKindItems[] = {"BLOWER", "CURRENT", "POWER", "TEMPERATURE", "VOLT"};

using F = CPan1Form;
constexpr platform::ControlTemplate kControls[] = {
    {F::IDC_TOPBAR, ControlKind::Static, "", 4, 0, 241, 35},
    {F::IDC_PANELFRAME, ControlKind::Frame, "", 3, 36, 242, 204},
    {F::IDC_PANELBAR, ControlKind::Static, "", 12, 40, 223, 18},
    {F::IDC_LOGO, ControlKind::Static, "", 12, 4, 56, 24},
    {F::IDC_BADGE, ControlKind::Static, "", 190, 5, 45, 24},
    {F::IDC_SPARELABEL, ControlKind::Static, "", 103, 44, 16, 12},
    {F::IDC_INSTRUMENTNAME, ControlKind::Static, "", 16, 44, 64, 11},
    {F::IDC_LAMP, ControlKind::OwnerDraw, "", 215, 43, 16, 12},
    {platform::kNoId, ControlKind::CText, "Active", 185, 45, 24, 8},
    {F::IDC_CHARTAREA, ControlKind::GroupBox, "Static", 10, 60, 225, 115, platform::kHidden},
    {F::IDC_TITLE, ControlKind::CText, "My Histogram", 10, 165, 225, 15},
    {F::IDC_KINDLIST, ControlKind::DropList, "", 70, 180, 70, 56, platform::kNone, kKindItems},
    {platform::kNoId, ControlKind::RText, "Histogram type:", 10, 182, 55, 8},
    {F::IDC_HISTRESET, ControlKind::PushButton, "Hist. Reset ...", 155, 200, 70, 15},
    {F::IDC_OBJECTLABEL, ControlKind::RText, "Slot:", 15, 203, 50, 8},
    {F::IDC_OBJECTLIST, ControlKind::DropList, "", 70, 201, 70, 58},
    {F::IDC_SETUP, ControlKind::PushButton, "Setup ...", 155, 220, 70, 14},
    {F::IDC_TAKEREADING, ControlKind::DefPushButton, "Take Reading", 155, 180, 70, 14},
    {F::IDC_SLOTTEXT, ControlKind::LText, "Slot", 85, 47, 13, 8},
};

const platform::DialogTemplate kPan1FormTemplate{
    IDD_PANEL1, platform::DialogKind::ChildForm, nullptr, 0, 0, 251, 246, false, kControls};

constexpr ColorRef kBarColor = platform::Rgb(128, 0, 0);
constexpr ColorRef kLiveLampColor = platform::Rgb(0, 255, 0);
constexpr ColorRef kOutlineColor = platform::Rgb(0, 0, 0);
constexpr int kBins = 10;

// A label in black on bkIndex with a sunken border; fontWnd lends it its font.
CColorLabel* NewLabel(int bkIndex, QWidget* fontWnd) {
    return new CColorLabel(GetSfpColor(bkIndex), GetSfpColor(SFPCOLOR_BLACK),
                           GetSfpColor(SFPCOLOR_SHADOW), GetSfpColor(SFPCOLOR_HIGHLIGHT), true,
                           std::nullopt, fontWnd);
}

// The object list of a kind, as this panel shows it.
QStringList ObjectEntries(int kind) {
    QStringList entries;
    switch (kind) {
    case BLOWER:
        return {QStringLiteral("BLOWER1"), QStringLiteral("BLOWER2")};
    case TEMPERATURE:
        for (const char* name : kSensorNames) {
            entries << QString::fromLatin1(name);
        }
        entries.back() = QStringLiteral("Ambient");
        return entries;
    default:
        for (const char* name : kSupplyNames) {
            entries << QString::fromLatin1(name);
        }
        return entries;
    }
}

Rect ControlRect(const QWidget* form, int id) {
    const QWidget* control = platform::DlgItem(form, id);
    return control != nullptr ? Rect::FromQRect(control->geometry()) : Rect{};
}

} // namespace

std::uint32_t PeriodTextToMilliseconds(const QString& text) {
    auto at = text.cbegin();
    const auto end = text.cend();
    const auto isBlank = [](QChar c) {
        return c == u' ' || (c.unicode() >= u'\t' && c.unicode() <= u'\r');
    };
    while (at != end && isBlank(*at)) {
        ++at;
    }
    bool negative = false;
    if (at != end && (*at == u'+' || *at == u'-')) {
        negative = *at == u'-';
        ++at;
    }
    std::uint32_t seconds = 0; // unsigned arithmetic wraps modulo 2^32, never overflows
    for (; at != end && at->unicode() >= u'0' && at->unicode() <= u'9'; ++at) {
        seconds = seconds * 10u + static_cast<std::uint32_t>(at->unicode() - u'0');
    }
    if (negative) {
        seconds = 0u - seconds;
    }
    return seconds * 1000u;
}

CPan1Form::CPan1Form(CPan1Obj* panel, QMainWindow* frame)
    : CPanelForm(frame, kPan1FormTemplate), m_pPanel(panel),
      m_kindList(platform::DlgItemAs<QComboBox>(this, IDC_KINDLIST)),
      m_objectList(platform::DlgItemAs<QComboBox>(this, IDC_OBJECTLIST)),
      m_chartView(new QWidget(this)) {
    platform::ReplaceDlgItem(this, IDC_TOPBAR, NewLabel(SFPCOLOR_TEAL, this));
    platform::ReplaceDlgItem(this, IDC_PANELBAR, NewLabel(SFPCOLOR_LIGHTGRAY, nullptr));
    platform::ReplaceDlgItem(this, IDC_SPARELABEL, NewLabel(SFPCOLOR_LIGHTGRAY, nullptr));
    platform::ReplaceDlgItem(this, IDC_INSTRUMENTNAME, NewLabel(SFPCOLOR_LIGHTGRAY, this));

    connect(m_kindList, &QComboBox::activated, this, &CPan1Form::OnKindChosen);
    connect(m_objectList, &QComboBox::activated, this, &CPan1Form::OnObjectChosen);
    const auto onClick = [this](int id, void (CPan1Form::*handler)()) {
        connect(platform::DlgItemAs<QPushButton>(this, id), &QPushButton::clicked, this, handler);
    };
    onClick(IDC_TAKEREADING, &CPan1Form::TakeReading);
    onClick(IDC_HISTRESET, &CPan1Form::OnHistReset);
    onClick(IDC_SETUP, &CPan1Form::OnSetup);

    m_chartView->setGeometry(ControlRect(this, IDC_CHARTAREA).ToQRect());
    platform::SetAccessibleRole(m_chartView, QAccessible::Chart);
    new platform::ExportMenu(
        m_chartView, this, QStringLiteral("histogram"),
        [this] { return !m_strChartQuantity.isEmpty(); }, [this] { return ChartTable(); },
        [this] { return ChartImage(); });

    OnInitDialog();
}

CPan1Form::~CPan1Form() = default;

void CPan1Form::OnInitDialog() {
    UpdateData(false);
    ResizeFrameToForm();

    const CSfpApp* app = GetSfpApp();
    auto* lamp = new CLedButton(app->m_statusColor, GetSfpColor(SFPCOLOR_LIGHTGRAY));
    lamp->setAccessibleName(app->m_statusColor == kLiveLampColor ? QStringLiteral("Live")
                                                                 : QStringLiteral("Emulated"));
    platform::ReplaceDlgItem(this, IDC_LAMP, lamp);
    auto* topBar = platform::DlgItemAs<CColorLabel>(this, IDC_TOPBAR);
    topBar->SetBorderColors(topBar->BorderColor2(), topBar->BorderColor1()); // raised
    platform::ReplaceDlgItem(this, IDC_LOGO, new CBitmapStatic(IDB_LOGO));
    platform::ReplaceDlgItem(this, IDC_BADGE, new CBitmapStatic(IDB_BADGE));
    platform::DlgItem(this, IDC_SPARELABEL)->hide();
    platform::DlgItem(this, IDC_SLOTTEXT)->hide();
    platform::DlgItemAs<CColorLabel>(this, IDC_INSTRUMENTNAME)->SetText(app->m_instrumentName);

    RebuildHistogram();
    UpdateData(false);
}

void CPan1Form::UpdateData(bool saveAndValidate) {
    auto* objectLabel = platform::DlgItemAs<QLabel>(this, IDC_OBJECTLABEL);
    auto* title = platform::DlgItemAs<QLabel>(this, IDC_TITLE);
    if (saveAndValidate) {
        m_strObjectLabel = objectLabel->text();
        m_strTitle = title->text();
    } else {
        objectLabel->setText(m_strObjectLabel);
        title->setText(m_strTitle);
    }
}

void CPan1Form::RebuildHistogram() {
    const int kind = m_pPanel->m_nType;
    const QuantityKindInfo& info = KindInfo(kind);
    NewChart();
    const int position = StoredObjectPosition();
    const int code = info.codeBase + (kind == BLOWER ? m_pPanel->m_nBlower : position);
    FillFromInstrument(code, QString::fromLatin1(info.unit));

    FillObjectList();
    m_objectList->setCurrentIndex(position);
    m_strObjectLabel = QString::fromLatin1(info.objectLabel);
    m_strTitle = QString::fromLatin1(info.title);
    UpdateData(false);
    m_kindList->setCurrentIndex(kind);
    DescribeChart();
    repaint();
}

void CPan1Form::TakeReading() {
    const int kind = m_pPanel->m_nType;
    const QuantityKindInfo& info = KindInfo(kind);
    // A temperature is read for the sensor the list shows at this moment.
    const int position = kind == TEMPERATURE ? m_objectList->currentIndex()
                         : kind == BLOWER    ? m_pPanel->m_nBlower
                                             : StoredObjectPosition();
    if (!FillFromInstrument(info.codeBase + position, QString::fromLatin1(info.unit))) {
        return;
    }
    DescribeChart();
    // The chart at once, with the title painted again over the part of it that it covers.
    QRegion region(m_pHisto->m_rect.ToQRect());
    region += ControlRect(this, IDC_TITLE).ToQRect();
    repaint(region);
}

void CPan1Form::NewChart() {
    m_pHisto = std::make_unique<Chisto>(kBins, ControlRect(this, IDC_CHARTAREA), kBarColor,
                                        GetSfpColor(SFPCOLOR_LIGHTGRAY), kOutlineColor, nullptr,
                                        std::int16_t{1});
    // Drawn in the form's font and without a frame, so it blends into the panel.
    m_pHisto->m_pFontWnd = this;
    m_pHisto->m_nFrameStyle = 2;
    m_strChartQuantity.clear();
    m_strChartTimeUnit.clear();
}

bool CPan1Form::FillFromInstrument(int code, const QString& unit) {
    // The instrument answers every part in the same buffer, so each is copied out.
    std::array<std::array<std::int32_t, kBins>, 3> parts{};
    const bool answered = CallInstrument(
        [&](CInstrument& instrument) {
            for (short part = 0; part < 3; ++part) {
                const std::int32_t* answer =
                    instrument.GetHistogram(static_cast<short>(code), part);
                std::copy_n(answer, kBins, parts[part].begin());
            }
        },
        kShowWaitCursor);
    if (answered) {
        FillHisto(*m_pHisto, parts[0], parts[1], parts[2], unit);
        m_strChartTimeUnit.clear();
        const int kind = m_pPanel->m_nType;
        const int position = code - KindInfo(kind).codeBase - (kind == BLOWER ? 1 : 0);
        m_strChartQuantity = QStringLiteral("%1 %2").arg(QLatin1String(KindInfo(kind).listKeyword),
                                                         ObjectEntries(kind).value(position));
    }
    return answered;
}

void CPan1Form::DescribeChart() {
    m_chartView->setAccessibleName(m_strTitle.trimmed());
    m_chartView->setAccessibleDescription(ChartDescription(*m_pHisto, m_strTitle));
}

std::optional<platform::ExportTable> CPan1Form::ChartTable() {
    if (m_strChartTimeUnit.isEmpty()) {
        const bool answered = CallInstrument([this](CInstrument& instrument) {
            m_strChartTimeUnit = QString::fromLatin1(TimeUnitName(instrument.GetTimeUnits()));
        });
        if (!answered) {
            return std::nullopt;
        }
    }
    return HistogramTable(*m_pHisto, m_strChartQuantity, m_strChartTimeUnit);
}

// The chart as it is on screen, the title over its foot included.
QImage CPan1Form::ChartImage() {
    return grab(m_chartView->geometry()).toImage();
}

void CPan1Form::FillObjectList() {
    m_objectList->clear();
    m_objectList->addItems(ObjectEntries(m_pPanel->m_nType));
}

// The list position of the remembered object of the chosen kind.
int CPan1Form::StoredObjectPosition() const {
    switch (m_pPanel->m_nType) {
    case BLOWER:
        return m_pPanel->m_nBlower - 1;
    case TEMPERATURE:
        return m_pPanel->m_nSensor;
    default:
        return m_pPanel->m_nSupply;
    }
}

void CPan1Form::OnKindChosen(int position) {
    m_pPanel->m_nType = position;
    RebuildHistogram();
    TakeReading();
}

void CPan1Form::OnObjectChosen(int position) {
    const int before = StoredObjectPosition();
    switch (m_pPanel->m_nType) {
    case BLOWER:
        m_pPanel->m_nBlower = position + 1;
        break;
    case TEMPERATURE:
        m_pPanel->m_nSensor = position;
        break;
    default:
        m_pPanel->m_nSupply = position;
        break;
    }
    // A chart stays on screen only under the object it was read for: should the reading of
    // the new object fail, the form shows an empty chart, as after a change of kind.
    if (StoredObjectPosition() != before) {
        NewChart();
        DescribeChart();
        update();
    }
    TakeReading();
}

void CPan1Form::OnHistReset() {
    CHistResetDlg dlg(GetSfpApp()->m_pMainWnd);
    dlg.exec();
}

void CPan1Form::OnSetup() {
    CSfpApp* app = GetSfpApp();
    CHistSetupDlg dlg(app->m_pMainWnd);
    dlg.m_strPeriod = QString::number(app->m_updateInterval / 1000u);
    const int outcome = dlg.exec();
    // The unit the dialog read is the one the chart on screen was taken in, whatever unit the
    // operator has just chosen for the readings to come.
    if (m_strChartTimeUnit.isEmpty() && dlg.m_nUnitsRead >= 0 && !m_strChartQuantity.isEmpty()) {
        m_strChartTimeUnit = QString::fromLatin1(TimeUnitName(dlg.m_nUnitsRead + kFirstTimeUnit));
    }
    if (outcome == QDialog::Accepted) {
        app->m_updateInterval = PeriodTextToMilliseconds(dlg.m_strPeriod);
    }
}

void CPan1Form::Paint(platform::DrawContext& dc) const {
    PaintRaisedPanel(dc, IDC_PANELFRAME);
    if (m_pHisto) {
        m_pHisto->Draw(dc);
    }
}

void CPan1Form::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    platform::QtDrawContext dc(painter);
    Paint(dc);
}
