"""What the exporter's soak scripts (soak-exporter.py, chaos-exporter.py) are built from:
`common` for both, `chaos` for the chaos soak alone."""
