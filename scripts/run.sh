#!/usr/bin/env bash
# The main job: builds the library and runs the vxrp host: the default preset protocol on
# 12-bit CT data, a short summary and its transfer-function picture (vxrp-plot.png here).
# Extra arguments go to vxrp (for example: bash scripts/run.sh --help).
# The build stays quiet when it succeeds; when it fails, its output is shown.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
build_log=$(mktemp)
trap 'rm -f "$build_log"' EXIT
if ! { cmake --preset release && cmake --build --preset release --target vxrp_tool; } >"$build_log" 2>&1; then
    cat "$build_log" >&2
    echo "run.sh: the build failed (output above)" >&2
    exit 1
fi
rm -f "$build_log"
trap - EXIT
exec ./build/release/vxrp "$@"
