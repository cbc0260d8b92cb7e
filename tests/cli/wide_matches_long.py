"""Reads a wide CSV of `ksm7720 snapshot --format wide` with one pandas call and checks it
against the long CSV of the same rack: every value, its unit, and the error-queue entries.

    python3 wide_matches_long.py LONG.csv WIDE.csv
"""
import sys

import pandas as pd


def main(long_path, wide_path):
    wide = pd.read_csv(wide_path)
    long = pd.read_csv(long_path, keep_default_na=False)
    assert len(wide) == 1, f"one row per snapshot, not {len(wide)}"
    row = wide.iloc[0]
    values = long[long["kind"] != "ERROR"]
    for _, value in values.iterrows():
        name = " ".join(p for p in (value["kind"], value["object"], value["position"]) if p)
        column = f"{name} [{value['si_unit']}]"
        assert row[column] == float(value["si_value"]), (column, row[column], value["si_value"])
    assert len(wide.columns) == len(values) + 7, "no column but the values and seven others"
    entries = long[long["kind"] == "ERROR"]
    said = "; ".join(f"{e['value']} {e['error']}" for _, e in entries.iterrows())
    assert said and row["errors"] == said, (row["errors"], said)
    assert row["resource"] == values["resource"].iloc[0] and row["name"] == values["name"].iloc[0]


if __name__ == "__main__":
    main(*sys.argv[1:])
