#!/usr/bin/env bash
# The window suites in a real X server with a window manager (scripts/with-x11.sh): message
# boxes centred inside the window, labels showing their whole text, the dialogs' geometry.
# The offscreen platform places and frames nothing, so these run here as well.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
build=${BUILD_DIR:-build/default}
suites=(tst_WindowFit tst_Dialogs)
if [ ! -f "$build/build.ninja" ]; then cmake --preset default >/dev/null; fi
cmake --build "$build" -j "$(nproc)" --target "${suites[@]}" >/dev/null
failed=0
for suite in "${suites[@]}"; do
  echo "== $suite (X11)" >&2
  bash scripts/with-x11.sh "$build/tests/wizard/$suite" || failed=1
done
exit "$failed"
