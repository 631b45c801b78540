#!/usr/bin/env bash
# make run: starts the tool against the simulated controller.
set -euo pipefail
echo "The main window and the simulated controller have not landed yet; nothing to run." >&2
exit 1
