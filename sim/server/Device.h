#pragma once

#include "common/BenchFile.h"
#include "server/SimInstrument.h"

// Any other instrument of a bench: a device that knows only the common commands and answers
// *IDN? with its own identity, or a silent port with nothing attached that never answers.
class CDevice : public CSimInstrument {
public:
    CDevice(CSimClock& clock, const BenchInstrument& config)
        : CSimInstrument(clock), m_idn(config.idn),
          m_silent(config.kind == BenchInstrument::Kind::Silent) {}

protected:
    bool ExecuteCommand(const ScpiCommand&, std::string&, bool&) override { return false; }
    std::string Identity() const override { return m_idn; }
    bool Silent() const override { return m_silent; }

private:
    std::string m_idn;
    bool m_silent;
};
