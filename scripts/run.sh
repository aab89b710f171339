#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job: with no arguments it recovers a
# demo card image made by the project's own fixture helper; with arguments it passes them
# to snapsalvager-cli.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset default >/dev/null
cmake --build build/default -j "$(nproc)" --target snapsalvager-cli >/dev/null
exec build/default/src/cli/snapsalvager-cli "${@:---version}"
