"""The chaos soak of the exporter, one job a module: `harness` (the processes it starts),
`truth` (what the simulators answer and the series the exporter makes of it), `record` (what
the bench did), `faults` (the seeded plan and its faults), `clients` (the hostile clients)
and `judge` (the assertions on what Prometheus stored). scripts/chaos-exporter.py runs it."""
