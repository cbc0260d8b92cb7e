#include "PyMainframe.h"

#include "PythonErrors.h"
#include "core/LibrarySearch.h"
#include "core/QuantityNames.h"
#include "core/ResourceChoice.h"
#include "core/SnapshotReader.h"
#include "core/StatusNames.h"
#include "core/TimeUnits.h"

#include <algorithm>
#include <array>
#include <chrono>

namespace py = pybind11;

namespace {

constexpr int kHistogramBins = 10;

CPythonFailure Failure(FailureKind kind, std::string message,
                       std::optional<InstrumentStatus> status = std::nullopt) {
    CPythonFailure failure;
    failure.kind = kind;
    failure.message = std::move(message);
    failure.status = status;
    return failure;
}

std::string Joined(const std::vector<std::string>& lines, const char* separator) {
    std::string text;
    for (const std::string& line : lines) {
        text += (text.empty() ? "" : separator) + line;
    }
    return text;
}

// The libraries as the command line loads them, and the resource manager open.
std::unique_ptr<CDiscovery> OpenDiscovery(bool withDriver) {
    auto discovery = std::make_unique<CDiscovery>(
        core::VisaLibraryCandidates(core::ProcessEnvironment),
        withDriver ? core::DriverLibraryCandidates(core::ProcessEnvironment)
                   : std::vector<std::string>{});
    const auto failed = discovery->Open();
    if (!failed) {
        return discovery;
    }
    const std::string message = Joined(OpenFailureLines(*discovery, *failed), "; ");
    if (*failed == DiscoveryFailure::ResourceManager) {
        throw Failure(FailureKind::General, message);
    }
    CPythonFailure failure = Failure(FailureKind::LibraryNotFound, message);
    failure.paths = *failed == DiscoveryFailure::NoVisaLibrary ? discovery->VisaNames()
                                                               : discovery->DriverNames();
    throw failure;
}

int TimeOutMs(double seconds) {
    const double ms = seconds * 1000.0;
    if (!(ms >= 1.0 && ms <= 2147483647.0)) {
        throw py::value_error("timeout must be a number of seconds from 0.001 to 2147483, not " +
                              py::repr(py::float_(seconds)).cast<std::string>());
    }
    return static_cast<int>(ms);
}

} // namespace

CPyMainframe::CPyMainframe(const std::optional<std::string>& resource, double timeout,
                           bool acceptAny)
    : m_timeOut(timeout) {
    const int timeOutMs = TimeOutMs(timeout);
    py::gil_scoped_release released;
    m_discovery = OpenDiscovery(true);
    if (resource) {
        // As the command line takes it after -a: in upper case.
        m_resource = AsciiUpper(*resource);
    } else {
        const ResourceChoice choice = ChooseResource(*m_discovery, acceptAny);
        if (choice.resource.empty()) {
            CPythonFailure failure =
                Failure(FailureKind::General,
                        choice.candidates.empty()
                            ? "no KS M7720 mainframe found" +
                                  (choice.unopened.empty()
                                       ? std::string()
                                       : " (did not open: " + Joined(choice.unopened, ", ") + ")")
                            : "the choice is not clear; name one of these: " +
                                  Joined(choice.candidates, ", "));
            failure.candidates = choice.candidates;
            throw failure;
        }
        m_resource = choice.resource;
    }
    // The driver asks the resource who it is before anything else goes out.
    auto connection = m_discovery->Connect(
        m_resource, {.timeOutMs = timeOutMs, .identify = true, .openTimeOutMs = timeOutMs});
    if (!connection.instrument) {
        if (connection.failure == DiscoveryFailure::BadDriver) {
            throw Failure(FailureKind::LibraryNotFound,
                          "the instrument driver library lacks an entry point");
        }
        const InstrumentStatus status = connection.status;
        if (status == VI_ERROR_FAIL_ID_QUERY) {
            throw Failure(FailureKind::NotAMainframe, m_resource + " is not a KS M7720 mainframe",
                          status);
        }
        const std::string text = m_discovery->StatusText(status);
        throw Failure(status == VI_ERROR_TMO ? FailureKind::TimeOut : FailureKind::General,
                      "could not open " + m_resource + (text.empty() ? "" : ": " + text) +
                          " (status " + StatusHex(status) + ")",
                      status);
    }
    m_instrument = std::move(connection.instrument);
    if (connection.timeOutStatus < 0) {
        const InstrumentStatus status = connection.timeOutStatus;
        const char* text = m_instrument->GetStatusText(status);
        m_instrument->Close();
        m_instrument.reset();
        throw Failure(FailureKind::General,
                      "the driver refused the time-out of " + std::to_string(timeOutMs) + " ms" +
                          (text != nullptr ? std::string(": ") + text : std::string()),
                      status);
    }
}

CPyMainframe::~CPyMainframe() {
    if (m_instrument) {
        m_instrument->Close();
    }
}

void CPyMainframe::Close() {
    m_closing = true;
    py::gil_scoped_release released;
    std::lock_guard lock(m_mutex);
    if (m_instrument) {
        m_instrument->Close();
        m_instrument.reset();
    }
}

template <class Call> auto CPyMainframe::Locked(const char* what, Call call) {
    py::gil_scoped_release released;
    std::lock_guard lock(m_mutex);
    if (!m_instrument) {
        throw Failure(FailureKind::General, std::string(what) + ": " + m_resource + " is closed");
    }
    try {
        return call(*m_instrument);
    } catch (const CInstrumentException& failure) {
        throw InstrumentFailure(DescribeFailure(*m_instrument, failure), what);
    }
}

namespace {

// A snapshot that is not up is a failure, with every entry drained before it.
PySnapshot Checked(const Snapshot& snapshot, const std::string& what, const std::string& resource) {
    if (!snapshot.up) {
        throw InstrumentFailure(
            {snapshot.status, snapshot.statusName, snapshot.reason, snapshot.entries, {}}, what);
    }
    return SnapshotValues(snapshot, resource);
}

} // namespace

PySnapshot CPyMainframe::Read(QuantityKind kind, int position) {
    return Locked("read", [&](CDriverInstrument& instrument) {
        const Snapshot snapshot =
            CSnapshotReader(ErrorQueueUse::Drain).Only(kind, position).Read(instrument);
        return Checked(snapshot, "read", m_resource);
    });
}

PySnapshot CPyMainframe::TakeSnapshot(const KindSet& kinds) {
    return Locked("snapshot", [&](CDriverInstrument& instrument) {
        const Snapshot snapshot = CSnapshotReader(ErrorQueueUse::Drain, kinds).Read(instrument);
        return Checked(snapshot, "snapshot", m_resource);
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
    const auto discovery = OpenDiscovery(false);
    std::vector<PyResource> resources;
    const auto probes = ProbeResources(discovery->Visa(), discovery->ResourceManager(), true);
    for (const ResourceProbe& probe : probes.value_or(std::vector<ResourceProbe>{})) {
        resources.push_back(
            {probe.descriptor, InterfaceName(probe.interfaceType), probe.mainframe});
    }
    return resources;
}
