#pragma once
// The panel's side of discovery: CSfpApp::DiscoverInstrument and UseEmulatedInstrument
// (declared in app/SfpApp.h) and the name the panel shows. The rules it shares with the
// command-line program live in core/Discovery.h.
#include <QString>

#include "core/Discovery.h"

#include <string_view>

// The name the panel shows for a resource: upper case, without its "::INSTR" ending.
QString InstrumentNameFromResource(std::string_view resourceName);
