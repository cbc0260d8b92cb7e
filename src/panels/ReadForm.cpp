#include "panels/ReadForm.h"

#include "controls/SfpColor.h"
#include "core/QuantityCatalogue.h"
#include "instrument/CallInstrument.h"
#include "panels/ReadObj.h"
#include "platform/DialogBuilder.h"
#include "platform/ExportMenu.h"
#include "platform/QtDrawContext.h"
#include "platform/WaitCursor.h"
#include "resources/ResourceIds.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>

#include <array>
#include <charconv>
#include <clocale>
#include <cstdlib>
#include <string>

using platform::ControlKind;
using platform::kNoId;

namespace {

constexpr unsigned kTab = platform::kTabStop;
constexpr unsigned kField = platform::kBorder | platform::kAutoHScroll | platform::kTabStop;

constexpr std::array<platform::ControlTemplate, 17> kReadFormControls{{
    {IDC_PANEL_FRAME, ControlKind::Frame, "", 5, 5, 240, 230, platform::kHidden},
    {kNoId, ControlKind::GroupBox, "Type", 15, 45, 95, 35},
    {IDC_TEMP, ControlKind::AutoRadio, "Temp", 21, 55, 34, 10, platform::kGroup | kTab},
    {IDC_CURRENT, ControlKind::AutoRadio, "Current", 21, 65, 39, 10},
    {IDC_READING, ControlKind::Static, "", 15, 15, 215, 15},
    {IDC_OBJECT_LIST, ControlKind::DropList, "", 20, 95, 80, 60, platform::kVScroll | kTab},
    {IDC_TAKE_READING, ControlKind::PushButton, "Take Reading", 175, 45, 60, 14, kTab},
    {IDC_READING_CAPTION, ControlKind::CText, "Present Reading", 15, 30, 215, 8},
    {IDC_NV_SAVE, ControlKind::PushButton, "NV Save", 175, 65, 60, 14, kTab},
    {kNoId, ControlKind::GroupBox, "Object (slot etc.)", 15, 85, 95, 30},
    {kNoId, ControlKind::GroupBox, "Set Limits", 15, 120, 95, 50},
    {kNoId, ControlKind::LText, "Limit", 20, 132, 20, 8},
    {IDC_LIMIT, ControlKind::Edit, "", 45, 130, 60, 14, kField},
    {IDC_SET_LIMIT, ControlKind::PushButton, "Set Limit", 35, 150, 50, 14, kTab},
    {IDC_MESSAGE, ControlKind::Edit, "", 20, 190, 215, 14, kField},
    {kNoId, ControlKind::GroupBox, "Display Message", 15, 175, 225, 50},
    {IDC_SEND, ControlKind::PushButton, "Send", 100, 206, 50, 14, kTab},
}};

const platform::DialogTemplate kReadFormTemplate{
    IDD_READINGS,     platform::DialogKind::ChildForm, nullptr, 0, 0, 252, 241, false,
    kReadFormControls};

constexpr char kAmbient[] = "AMBIENT";

// printf's "%g" in the C locale: six significant digits, no trailing zeros.
QString FormatG(double value) {
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::general, 6);
    return QString::fromLatin1(buffer.data(), result.ptr - buffer.data());
}

// Front, middle and rear for a slot sensor, one value otherwise.
QStringList ShownValues(int type, const QString& name, const double* values) {
    if (type == IDC_TEMP && name != QLatin1String(kAmbient)) {
        return {FormatG(values[0]), FormatG(values[1]), FormatG(values[2])};
    }
    return {FormatG(values[0])};
}

QString ReadingText(const QStringList& shown) {
    if (shown.size() == 3) {
        return QStringLiteral("Front: %1 middle: %2 rear: %3").arg(shown[0], shown[1], shown[2]);
    }
    return shown.value(0);
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

const char* SkipDigits(const char* p) {
    while (IsDigit(*p)) {
        ++p;
    }
    return p;
}

// The end of the decimal number at the start of s (sign, digits, point and fraction,
// exponent), or s itself when there is none.
const char* DecimalNumberEnd(const char* s) {
    const char* p = s + ((*s == '+' || *s == '-') ? 1 : 0);
    const char* end = SkipDigits(p);
    bool hasDigits = end != p;
    if (*end == '.') {
        const char* fractionEnd = SkipDigits(end + 1);
        hasDigits = hasDigits || fractionEnd != end + 1;
        end = fractionEnd;
    }
    if (!hasDigits) {
        return s;
    }
    if (*end == 'e' || *end == 'E') {
        const char* exponent = end + 1 + ((end[1] == '+' || end[1] == '-') ? 1 : 0);
        if (IsDigit(*exponent)) {
            end = SkipDigits(exponent);
        }
    }
    return end;
}

// atof's reading of text: leading white space skipped, the longest decimal number that
// follows converted, 0.0 without one. Only that number is handed to strtod, in the C
// locale: hexadecimal and "inf" texts read as 0, and the operator's locale cannot make
// the decimal point a comma.
double AtoF(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    const char* s = bytes.constData();
    while (IsSpace(*s)) {
        ++s;
    }
    const std::string number(s, DecimalNumberEnd(s));
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
    return number.empty() ? 0.0 : strtod_l(number.c_str(), nullptr, cLocale);
}

} // namespace

CReadForm::CReadForm(CReadObj* panel, QMainWindow* frame)
    : CPanelForm(frame, kReadFormTemplate), m_pPanel(panel),
      m_pSetLimit(platform::DlgItemAs<QPushButton>(this, IDC_SET_LIMIT)),
      m_pObjectList(platform::DlgItemAs<QComboBox>(this, IDC_OBJECT_LIST)),
      m_display(GetSfpColor(SFPCOLOR_LIGHTGRAY), GetSfpColor(SFPCOLOR_BLACK),
                GetSfpColor(SFPCOLOR_SHADOW), GetSfpColor(SFPCOLOR_HIGHLIGHT), true) {
    platform::ReplaceDlgItem(this, IDC_READING, &m_display);
    QWidget* caption = platform::DlgItem(this, IDC_READING_CAPTION);
    QPalette palette = caption->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    caption->setPalette(palette);
    // The display's values can be copied and saved while it shows the last reading.
    new platform::ExportMenu(
        &m_display, this, QStringLiteral("reading"),
        [this] { return !m_display.Text().isEmpty() && m_display.Text() == m_shownReading.text; },
        [this] { return std::optional(ReadingTable(m_shownReading)); });
    ConnectControls();
    OnInitDialog();
}

void CReadForm::ConnectControls() {
    for (const int type : {IDC_TEMP, IDC_CURRENT}) {
        connect(platform::DlgItemAs<QRadioButton>(this, type), &QRadioButton::clicked, this,
                [this, type] { OnTypeChange(type); });
    }
    connect(m_pObjectList, &QComboBox::activated, this, &CReadForm::OnObjectChosen);
    const auto button = [this](int id) { return platform::DlgItemAs<QPushButton>(this, id); };
    connect(button(IDC_TAKE_READING), &QPushButton::clicked, this, &CReadForm::TakeReading);
    connect(button(IDC_SET_LIMIT), &QPushButton::clicked, this, &CReadForm::OnSetLimit);
    connect(button(IDC_NV_SAVE), &QPushButton::clicked, this, &CReadForm::OnNvSave);
    connect(button(IDC_SEND), &QPushButton::clicked, this, &CReadForm::OnSend);
}

// The type and object come from the panel; the Limit and message fields start empty.
// "Set Limit" stays enabled whatever the type.
void CReadForm::OnInitDialog() {
    ResizeFrameToForm();
    for (const int type : {IDC_TEMP, IDC_CURRENT}) {
        platform::DlgItemAs<QRadioButton>(this, type)->setChecked(type == m_pPanel->m_nType);
    }
    FillObjectList();
    UpdateData(false);
}

void CReadForm::UpdateData(bool saveAndValidate) {
    auto* limit = platform::DlgItemAs<QLineEdit>(this, IDC_LIMIT);
    auto* message = platform::DlgItemAs<QLineEdit>(this, IDC_MESSAGE);
    if (saveAndValidate) {
        m_strObject = m_pObjectList->currentText();
        m_strLimit = limit->text();
        m_strMessage = message->text();
        return;
    }
    // The object list keeps the selection FillObjectList made: a reopened form shows the
    // remembered object rather than the first entry.
    limit->setText(m_strLimit);
    message->setText(m_strMessage);
}

void CReadForm::FillObjectList() {
    m_pObjectList->clear();
    if (m_pPanel->m_nType == IDC_TEMP) {
        for (const char* name : kSensorNames) {
            m_pObjectList->addItem(QString::fromLatin1(name));
        }
    } else {
        for (const char* name : kSupplyNames) {
            m_pObjectList->addItem(QString::fromLatin1(name));
        }
    }
    m_pObjectList->setCurrentIndex(m_pPanel->m_nObject);
}

// A value stays on the display only under the name it was read for.
void CReadForm::OnObjectChosen(int index) {
    if (index != m_pPanel->m_nObject) {
        m_display.SetText(QString());
    }
    m_pPanel->m_nObject = index;
}

void CReadForm::OnTypeChange(int type) {
    if (type != m_pPanel->m_nType || m_pPanel->m_nObject != 0) {
        m_display.SetText(QString());
    }
    m_pSetLimit->setEnabled(type == IDC_TEMP);
    m_pPanel->m_nType = type;
    m_pPanel->m_nObject = 0;
    FillObjectList();
}

int CReadForm::SelectedObjectCode() const {
    const QuantityKind kind = m_pPanel->m_nType == IDC_TEMP ? TEMPERATURE : CURRENT;
    return KindInfo(kind).codeBase + m_pObjectList->currentIndex();
}

void CReadForm::TakeReading() {
    UpdateData(true);
    const int code = SelectedObjectCode();
    const double* values = nullptr;
    if (CallInstrument([&](CInstrument& instrument) { values = instrument.GetLevel(code, 0); })) {
        const QString object = m_pObjectList->currentText();
        const QStringList shown = ShownValues(m_pPanel->m_nType, object, values);
        const QString type = platform::DlgItemAs<QRadioButton>(this, m_pPanel->m_nType)->text();
        m_shownReading = {type + u' ' + object, shown, ReadingText(shown)};
        m_display.SetText(m_shownReading.text);
    }
}

void CReadForm::OnSetLimit() {
    UpdateData(true);
    const int code = SelectedObjectCode();
    const double value = AtoF(m_strLimit);
    CallInstrument([&](CInstrument& instrument) { instrument.SetLimit(code, value); });
}

void CReadForm::OnNvSave() {
    CallInstrument([](CInstrument& instrument) { instrument.SaveSettings(); });
}

void CReadForm::OnSend() {
    UpdateData(true);
    const QByteArray text = m_strMessage.toLocal8Bit();
    CallInstrument([&](CInstrument& instrument) { instrument.SetMessage(text.constData()); });
}

void CReadForm::Paint(platform::DrawContext& dc) const {
    PaintRaisedPanel(dc, IDC_PANEL_FRAME);
}

void CReadForm::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    platform::QtDrawContext dc(painter);
    Paint(dc);
}
