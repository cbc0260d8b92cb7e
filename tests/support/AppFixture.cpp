#include "AppFixture.h"

#include <QAction>
#include <QCoreApplication>

AppFixture::AppFixture(std::unique_ptr<CInstrument> instrument) {
    app.m_pInstrument = std::move(instrument);
    app.m_statusColor = platform::Rgb(64, 64, 64);
    app.m_instrumentName = QStringLiteral("Emulated");
    app.Initialize();
}

AppFixture::~AppFixture() {
    delete app.m_pMainWnd;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

CTestInstrument* AppFixture::Instrument() const {
    return dynamic_cast<CTestInstrument*>(app.m_pInstrument.get());
}

void AppFixture::Command(int id) const {
    Frame()->MenuAction(id)->trigger();
}
