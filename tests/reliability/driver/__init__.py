"""The host side of the reliability checks: damage campaigns, faults, load
and awkward paths, run under Wine through tarvek-reliability-runner."""
