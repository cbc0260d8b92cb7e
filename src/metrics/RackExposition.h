#pragma once
// The exposition of one scrape: whether the rack was read and how long it took, what the
// lab says about it, and when it was read, one family per quantity in base units, the
// mainframe's limit verdicts and the error-queue entries drained.
#include "metrics/ScrapeResult.h"

#include <array>
#include <ostream>
#include <string>

// One rack's exposition. What depends on the rack alone (each family's HELP and TYPE, each
// series' name and labels) is rendered once, when it is made; a scrape then appends only
// its values, so a probe costs little more than its numbers.
class CRackExposition {
public:
    explicit CRackExposition(const RackLabels& rack);

    const RackLabels& Labels() const { return m_labels; }
    std::string Text(const ScrapeResult& scrape) const;

private:
    static constexpr int kCodes = 53; // object codes 0..52
    static constexpr int kReadingFamilies = 7;

    void RenderObject(QuantityKind kind, int position);
    void AppendReadings(const ScrapeResult& scrape, std::string& out) const;
    void AppendVerdicts(const ScrapeResult& scrape, std::string& out) const;

    RackLabels m_labels;
    std::string m_common;    // the labels every series carries
    std::string m_head;      // ksm7720_up up to its value
    std::string m_duration;  // the scrape duration's family up to its value
    std::string m_info;      // whole, or empty without a resource
    std::string m_fitted;    // whole, or empty when the lab did not say
    std::string m_overLimit; // the verdicts' HELP and TYPE
    std::string m_dropped;   // up to its value
    std::string m_entries;   // the entries' HELP and TYPE
    std::array<std::string, kReadingFamilies> m_families{};
    std::array<int, kCodes> m_familyOf{};
    std::array<std::string, kCodes> m_single{};                   // a one-value reading
    std::array<std::array<std::string, 3>, kCodes> m_positions{}; // front, middle, rear
    std::array<std::string, kCodes> m_verdicts{};
    size_t m_size = 0; // of a whole exposition, near enough to reserve it at once
};

void WriteRackExposition(const ScrapeResult& scrape, const RackLabels& rack, std::ostream& out);
