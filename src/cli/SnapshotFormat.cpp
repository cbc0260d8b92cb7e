#include "cli/SnapshotFormat.h"

#include "core/QuantityCatalogue.h"
#include "core/SiUnits.h"
#include "core/Text.h"

#include <array>

namespace {

constexpr std::size_t kRackColumns = 5;     // time .. status: the rest describe one value
constexpr std::size_t kValueColumns = 8;    // kind .. object_over_limit
constexpr const char* kEntryKind = "ERROR"; // the kind of a row that is an error-queue entry

const char* QueueName(ErrorQueueUse use) {
    return use == ErrorQueueUse::Drain ? "drain" : "leave";
}

// kind .. object_over_limit of one value of a reading (an array: no allocation for the list).
std::array<Cell, 8> ValueCells(const SnapshotReading& reading, int i) {
    return {TextCell(KindInfo(reading.kind).listKeyword),
            TextCell(reading.object),
            TextCell(reading.count > 1 ? kReadingPositions[i] : ""),
            NumberCell(reading.values[i]),
            TextCell(KindInfo(reading.kind).unit),
            NumberCell(reading.siValues[i]),
            TextCell(SiUnitOf(reading.kind).symbol),
            VerdictCell(reading.objectOverLimit)};
}

std::vector<Cell> RackCells(const Snapshot& snapshot, const RackId& rack, WallTime time) {
    return {TextCell(Rfc3339(time)), TextCell(rack.resource), TextCell(rack.name),
            VerdictCell(snapshot.up ? Verdict::True : Verdict::False),
            TextCell(snapshot.up ? "" : snapshot.statusName)};
}

std::string JsonOrNull(const std::string& text) {
    return text.empty() ? "null" : JsonString(text);
}

std::string EntriesJson(const Snapshot& snapshot) {
    std::string json = "[";
    for (std::size_t e = 0; e < snapshot.entries.size(); ++e) {
        json += (e > 0 ? ", " : "") + std::string("{\"code\": ") +
                std::to_string(snapshot.entries[e].code) +
                ", \"text\": " + JsonString(snapshot.entries[e].text) + '}';
    }
    return json + ']';
}

} // namespace

const std::vector<std::string>& SnapshotColumns() {
    static const std::vector<std::string> columns{"time",
                                                  "resource",
                                                  "name",
                                                  "up",
                                                  "status",
                                                  "kind",
                                                  "object",
                                                  "position",
                                                  "value",
                                                  "unit",
                                                  "si_value",
                                                  "si_unit",
                                                  "object_over_limit",
                                                  "snapshot_time",
                                                  "error"};
    return columns;
}

Table SnapshotTable(const Snapshot& snapshot, const RackId& rack) {
    Table table{SnapshotColumns(), {}};
    const Cell snapshotTime = TextCell(Rfc3339(snapshot.time));
    if (!snapshot.up) {
        std::vector<Cell> row = RackCells(snapshot, rack, snapshot.time);
        row.resize(kRackColumns + kValueColumns, TextCell(""));
        row.insert(row.end(), {snapshotTime, TextCell(rack.reason)});
        table.rows.push_back(std::move(row));
    }
    for (const SnapshotReading& reading : snapshot.readings) {
        for (int i = 0; i < reading.count; ++i) {
            std::vector<Cell> row = RackCells(snapshot, rack, reading.time);
            const auto value = ValueCells(reading, i);
            row.insert(row.end(), value.begin(), value.end());
            row.insert(row.end(), {snapshotTime, TextCell("")});
            table.rows.push_back(std::move(row));
        }
    }
    for (const ErrorEntry& entry : snapshot.entries) {
        std::vector<Cell> row = RackCells(snapshot, rack, snapshot.time);
        row.insert(row.end(),
                   {TextCell(kEntryKind), TextCell(""), TextCell(""), NumberCell(entry.code)});
        row.resize(kRackColumns + kValueColumns, TextCell(""));
        row.insert(row.end(), {snapshotTime, TextCell(entry.text)});
        table.rows.push_back(std::move(row));
    }
    return table;
}

// Written straight into one string, without the table's cells: a log writes this every
// interval for every rack, and the cells' strings were most of its CPU.
std::string SnapshotCsv(const Snapshot& snapshot, const RackId& rack) {
    std::string rackCells; // resource .. status, the same on every row
    const std::string up = VerdictName(snapshot.up ? Verdict::True : Verdict::False);
    const std::string status = snapshot.up ? "" : snapshot.statusName;
    for (const std::string_view cell :
         {std::string_view(rack.resource), std::string_view(rack.name), std::string_view(up),
          std::string_view(status)}) {
        rackCells += ',';
        AppendCsvField(rackCells, cell);
    }
    const std::string snapshotTime = Rfc3339(snapshot.time);
    std::string csv;
    if (!snapshot.up) {
        csv += snapshotTime + rackCells;
        csv.append(kValueColumns, ',');
        csv += ',' + snapshotTime + ',';
        AppendCsvField(csv, rack.reason);
        csv += '\n';
    }
    for (const SnapshotReading& reading : snapshot.readings) {
        const std::string time = Rfc3339(reading.time);
        for (int i = 0; i < reading.count; ++i) {
            AppendCsvField(csv, time);
            csv += rackCells;
            for (const Cell& cell : ValueCells(reading, i)) {
                csv += ',';
                AppendCsvField(csv, cell.text);
            }
            csv += ',' + snapshotTime + ",\n";
        }
    }
    // Each entry drained: kind ERROR, its code as the value, its text in the last column.
    for (const ErrorEntry& entry : snapshot.entries) {
        csv += snapshotTime + rackCells + ',' + kEntryKind + ",,," + std::to_string(entry.code);
        csv.append(kValueColumns - 4, ',');
        csv += ',' + snapshotTime + ',';
        AppendCsvField(csv, entry.text);
        csv += '\n';
    }
    return csv;
}

std::string SnapshotJson(const Snapshot& snapshot, const RackId& rack, bool oneLine) {
    const std::string gap = oneLine ? " " : "\n  ";
    std::string json = "{\"resource\": " + JsonString(rack.resource) +
                       ", \"name\": " + JsonOrNull(rack.name) +
                       ", \"time\": " + JsonString(Rfc3339(snapshot.time)) +
                       ", \"up\": " + (snapshot.up ? "true" : "false") +
                       ", \"status\": " + JsonOrNull(snapshot.up ? "" : snapshot.statusName) +
                       ", \"reason\": " + JsonOrNull(rack.reason) +
                       ", \"duration_seconds\": " + ExactNumber(snapshot.durationSeconds) +
                       ", \"error_queue\": " + JsonString(QueueName(snapshot.queue)) + "," + gap +
                       "\"readings\": [";
    std::vector<std::string> names{"time"};
    names.insert(names.end(), SnapshotColumns().begin() + kRackColumns,
                 SnapshotColumns().begin() + kRackColumns + kValueColumns);
    bool first = true;
    for (const SnapshotReading& reading : snapshot.readings) {
        for (int i = 0; i < reading.count; ++i) {
            std::vector<Cell> cells{TextCell(Rfc3339(reading.time))};
            const auto value = ValueCells(reading, i);
            cells.insert(cells.end(), value.begin(), value.end());
            json += (first ? "" : ",") + gap + (oneLine ? "" : "  ") + JsonObject(names, cells);
            first = false;
        }
    }
    json += (first ? "" : gap) + "]," + gap + "\"entries\": " + EntriesJson(snapshot) +
            (oneLine ? "}" : "\n}");
    return json + '\n';
}
