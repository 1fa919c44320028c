#!/usr/bin/env bash
# Sets up, builds and starts Lurvane Brevicard. The contacts file, LBcontatos.txt, lives
# beside the executable: build/LBcontatos.txt.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" --target lurvane-brevicard -j"$(nproc)"
exec "$root/build/lurvane-brevicard"
