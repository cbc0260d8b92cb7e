#include "PyMainframe.h"

#include "PythonErrors.h"
#include "core/LibrarySearch.h"
#include "core/QuantityNames.h"
#include "core/ResourceChoice.h"
#include "core/TimeUnits.h"

#include <algorithm>
#include <array>
#include <chrono>

namespace py = pybind11;

namespace {

constexpr int kHistogramBins = 10;

int TimeOutMs(double seconds) {
    const double ms = seconds * 1000.0;
    if (!(ms >= 1.0 && ms <= 2147483647.0)) {
        throw py::value_error("timeout must be a number of seconds from 0.001 to 2147483, not " +
                              py::repr(py::float_(seconds)).cast<std::string>());
    }
    return static_cast<int>(ms);
}

// A snapshot that is not up is a failure, with every entry drained before it.
PySnapshot Checked(const Snapshot& snapshot, const std::string& what, const std::string& resource) {
    if (!snapshot.up) {
        throw InstrumentFailure(
            {snapshot.status, snapshot.statusName, snapshot.reason, snapshot.entries, {}}, what);
    }
    return SnapshotValues(snapshot, resource);
}

} // namespace

CPyMainframe::CPyMainframe(const std::optional<std::string>& resource, double timeout,
                           bool acceptAny)
    : m_timeOut(timeout), m_session(core::VisaLibraryCandidates(core::ProcessEnvironment),
                                    core::DriverLibraryCandidates(core::ProcessEnvironment),
                                    {resource.value_or(""), TimeOutMs(timeout), acceptAny}) {
    {
        py::gil_scoped_release released;
        try {
            m_session.Open();
        } catch (const COpenFailure& failure) {
            throw OpeningFailure(failure);
        }
    }
    if (!m_session.Warning().empty() &&
        PyErr_WarnEx(PyExc_RuntimeWarning, m_session.Warning().c_str(), 1) < 0) {
        throw py::error_already_set(); // warnings made errors
    }
}

CPyMainframe::~CPyMainframe() = default;

void CPyMainframe::Close() {
    m_closing = true;
    py::gil_scoped_release released;
    std::lock_guard lock(m_mutex);
    m_session.Close();
}

template <class Call> auto CPyMainframe::Locked(const char* what, Call call) {
    py::gil_scoped_release released;
    std::lock_guard lock(m_mutex);
    if (m_closing) {
        throw OpeningFailure(COpenFailure(OpenFailureKind::NotOpened,
                                          {std::string(what) + ": " + Resource() + " is closed"}));
    }
    CDriverInstrument* instrument = nullptr;
    try {
        instrument = &m_session.Open();
        return call(*instrument);
    } catch (const COpenFailure& failure) {
        throw OpeningFailure(failure);
    } catch (const CInstrumentException& failure) {
        CPythonFailure python = InstrumentFailure(DescribeFailure(*instrument, failure), what);
        m_session.Failed(failure.Status());
        throw python;
    }
}

PySnapshot CPyMainframe::Read(QuantityKind kind, int position) {
    return Locked("read", [&](CDriverInstrument&) {
        const Snapshot snapshot =
            m_session.Read(CSnapshotReader(ErrorQueueUse::Drain).Only(kind, position));
        return Checked(snapshot, "read", Resource());
    });
}

PySnapshot CPyMainframe::TakeSnapshot(const KindSet& kinds) {
    return Locked("snapshot", [&](CDriverInstrument&) {
        const Snapshot snapshot = m_session.Read(CSnapshotReader(ErrorQueueUse::Drain, kinds));
        return Checked(snapshot, "snapshot", Resource());
    });
}

// The three parts of the histogram, each copied before the next call refills the buffer.
PyHistogram CPyMainframe::Histogram(QuantityKind kind, int position) {
    return Locked("histogram", [&](CDriverInstrument& instrument) {
        const ObjectCode code = *ObjectCodeOf(kind, position);
        std::array<std::array<std::int32_t, kHistogramBins>, 3> parts{};
        for (short part = 0; part < 3; ++part) {
            const std::int32_t* values = instrument.GetHistogram(static_cast<short>(code), part);
            std::copy(values, values + kHistogramBins, parts[part].begin());
        }
        const QuantityKindInfo& info = KindInfo(kind);
        PyHistogram histogram{info.listKeyword,
                              ObjectName(kind, position),
                              {},
                              {},
                              info.unit,
                              core::TimeUnitName(instrument.GetTimeUnits()),
                              EpochSeconds(std::chrono::system_clock::now())};
        for (int bin = 0; bin < kHistogramBins; ++bin) {
            histogram.edges.emplace_back(parts[1][bin], parts[2][bin]);
            histogram.counts.push_back(parts[0][bin]);
        }
        return histogram;
    });
}

std::vector<ErrorEntry> CPyMainframe::Errors() {
    return Locked("errors",
                  [](CDriverInstrument& instrument) { return DrainErrorQueue(instrument); });
}

int CPyMainframe::TimeUnits() {
    return Locked("time_unit",
                  [](CDriverInstrument& instrument) { return instrument.GetTimeUnits(); });
}

void CPyMainframe::SetTimeUnits(int units) {
    Locked("set_time_unit", [&](CDriverInstrument& instrument) { instrument.SetTimeUnits(units); });
}

void CPyMainframe::SetLimit(ObjectCode code, double value) {
    Locked("set_limit", [&](CDriverInstrument& instrument) { instrument.SetLimit(code, value); });
}

void CPyMainframe::Save() {
    Locked("save", [](CDriverInstrument& instrument) { instrument.SaveSettings(); });
}

void CPyMainframe::Message(const std::string& text) {
    Locked("message", [&](CDriverInstrument& instrument) { instrument.SetMessage(text.c_str()); });
}

void CPyMainframe::ResetHistory(const std::string& keyword, const std::string& name) {
    Locked("reset_history", [&](CDriverInstrument& instrument) {
        instrument.ResetHistory(keyword.c_str(), name.c_str());
    });
}

void CPyMainframe::Reset() {
    Locked("reset", [](CDriverInstrument& instrument) { instrument.Reset(); });
}

PySelfTest CPyMainframe::SelfTest() {
    return Locked("self_test", [](CDriverInstrument& instrument) {
        int result = 0;
        const char* text = instrument.SelfTest(&result);
        return PySelfTest{result, text != nullptr ? text : ""};
    });
}

std::vector<PyResource> ListResources() {
    py::gil_scoped_release released;
    CDiscovery discovery(core::VisaLibraryCandidates(core::ProcessEnvironment), {});
    if (const auto failure = discovery.Open()) {
        throw OpeningFailure(LibraryFailure(discovery, *failure));
    }
    std::vector<PyResource> resources;
    const auto probes = ProbeResources(discovery.Visa(), discovery.ResourceManager(), true);
    for (const ResourceProbe& probe : probes.value_or(std::vector<ResourceProbe>{})) {
        resources.push_back(
            {probe.descriptor, InterfaceName(probe.interfaceType), probe.mainframe});
    }
    return resources;
}
