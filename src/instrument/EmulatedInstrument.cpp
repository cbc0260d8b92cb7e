#include "instrument/EmulatedInstrument.h"

#include "platform/MessageBox.h"

void CEmulatedInstrument::Reset() {
    platform::SfpMessageBox(QStringLiteral("This is my NON LIVE RESET"));
}
