#include "cli/WideFormat.h"

#include "core/QuantityNames.h"
#include "core/SiUnits.h"
#include "core/Text.h"

namespace {

// "TEMPERATURE OUT3 rear": a value by kind, object and, for a slot sensor, its position.
std::string ValueName(QuantityKind kind, const std::string& object, int count, int i) {
    return KindInfo(kind).listKeyword + (" " + object) +
           (count > 1 ? std::string(" ") + kReadingPositions[i] : "");
}

// Appends text to list, "; " after what it holds.
void AddTo(std::string& list, const std::string& text) {
    list += (list.empty() ? "" : "; ") + text;
}

} // namespace

std::vector<std::string> WideColumns(const KindSet& kinds) {
    std::vector<std::string> columns{"snapshot_time", "resource", "name", "up", "status"};
    for (int k = 0; k < kQuantityKindCount; ++k) {
        const auto kind = static_cast<QuantityKind>(k);
        const int first = kind == BLOWER ? 1 : 0;
        for (int position = first; kinds[k] && position < first + ObjectCount(kind); ++position) {
            const int count = ReadingValueCount(*ObjectCodeOf(kind, position));
            for (int i = 0; i < count; ++i) {
                columns.push_back(ValueName(kind, ObjectName(kind, position), count, i) + " [" +
                                  SiUnitOf(kind).symbol + "]");
            }
        }
    }
    columns.insert(columns.end(), {"objects_over_limit", "errors"});
    return columns;
}

std::string WideCsv(const Snapshot& snapshot, const RackId& rack, const KindSet& kinds) {
    std::string row = Rfc3339(snapshot.time);
    for (const std::string& cell :
         {rack.resource, rack.name,
          std::string(VerdictName(snapshot.up ? Verdict::True : Verdict::False)),
          snapshot.up ? std::string() : snapshot.statusName}) {
        row += ',';
        AppendCsvField(row, cell);
    }
    std::string over;
    for (const SnapshotReading& reading : snapshot.readings) {
        for (int i = 0; i < reading.count; ++i) {
            row += ',' + ExactNumber(reading.siValues[i]);
        }
        if (reading.objectOverLimit == Verdict::True) {
            AddTo(over, ValueName(reading.kind, reading.object, 1, 0));
        }
    }
    if (!snapshot.up) {
        row.append(WideColumns(kinds).size() - 7, ',');
    }
    std::string errors = snapshot.up ? "" : rack.reason;
    for (const ErrorEntry& entry : snapshot.entries) {
        AddTo(errors, std::to_string(entry.code) + ' ' + entry.text);
    }
    row += ',';
    AppendCsvField(row, over);
    row += ',';
    AppendCsvField(row, errors);
    return row + '\n';
}
