#!/usr/bin/env bash
# The main job: builds the library and runs the vxrp host: the default preset protocol on
# 12-bit CT data, a short summary and its transfer-function picture (vxrp-plot.png here).
# Extra arguments go to vxrp (for example: bash scripts/run.sh --help).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target vxrp_tool >/dev/null
exec ./build/release/vxrp "$@"
