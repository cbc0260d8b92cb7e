#include "app/HelpWindow.h"

#include "resources/Bitmaps.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QShortcut>
#include <QTextBrowser>
#include <QVBoxLayout>

const QUrl kHelpContentsUrl(QStringLiteral("qrc:/help/index.html"));

// The pages live in the static library; naming their initialiser makes the linker keep
// them. It must be called from outside any namespace.
static void InitHelpResources() {
    Q_INIT_RESOURCE(help);
}

CHelpWindow::CHelpWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), m_browser(new QTextBrowser(this)),
      m_back(new QPushButton(tr("Back"), this)), m_contents(new QPushButton(tr("Contents"), this)) {
    InitHelpResources();
    setWindowTitle(QStringLiteral("KS M7720 Soft Front Panel Help"));
    setWindowIcon(AppIcon());
    resize(620, 560);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_back);
    buttons->addWidget(m_contents);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_browser);

    m_back->setEnabled(false);
    connect(m_browser, &QTextBrowser::backwardAvailable, m_back, &QPushButton::setEnabled);
    connect(m_back, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
    connect(m_contents, &QPushButton::clicked, this,
            [this] { m_browser->setSource(kHelpContentsUrl); });
    m_browser->setSource(kHelpContentsUrl);

    // Esc and the desktop's close shortcut put the help away, as in any help viewer.
    connect(new QShortcut(Qt::Key_Escape, this), &QShortcut::activated, this, &QWidget::close);
    connect(new QShortcut(QKeySequence::Close, this), &QShortcut::activated, this, &QWidget::close);
}

void CHelpWindow::ShowContents() {
    m_browser->setSource(kHelpContentsUrl);
    show();
    raise();
    activateWindow();
}
