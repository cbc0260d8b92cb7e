#pragma once
// The Prometheus text exposition format (0.0.4): HELP (backslash and line feed escaped)
// and TYPE once before a family's samples, label values quoted with their three escapes, numbers in
// the C locale. Labels every series carries (the textfile's rack) are given once and written first.
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using MetricLabels = std::vector<std::pair<std::string_view, std::string>>;

class CTextFormat {
public:
    CTextFormat(std::ostream& out, const MetricLabels& common = {});

    // Starts a family; the samples that follow belong to it.
    void Family(std::string_view name, std::string_view help, std::string_view type = "gauge");
    void Sample(const MetricLabels& labels, double value);
    void Sample(double value) { Sample({}, value); }

    // The same pieces as text, for a writer that renders a series once and then only
    // appends its values: a family's HELP and TYPE lines; the labels every series carries;
    // a sample's line up to its value ("name{common,labels} "); and a value.
    static std::string FamilyLines(std::string_view name, std::string_view help,
                                   std::string_view type = "gauge");
    static std::string CommonLabels(const MetricLabels& common);
    static std::string SeriesText(std::string_view name, std::string_view common,
                                  const MetricLabels& labels);
    static void AppendValue(std::string& text, double value);

    // value as a label value: quoted, with backslash, quote and line feed escaped.
    static std::string Quoted(std::string_view value);
    // The same appended to text.
    static void AppendQuoted(std::string& text, std::string_view value);

private:
    std::ostream& m_out;
    std::string m_common; // rendered, without braces
    std::string m_family;
};
