#!/usr/bin/env bash
# Installs what is missing, builds the plug-in, and renders a factory preset playing
# a short bass line to demo.wav through the built plug-in, as a host would.
set -euo pipefail
cd "$(dirname "$0")"

./tools/install-deps.sh --linux-only
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target Vantorel vantorel-render factory-presets

PRESET="Bass/Sub Sine Bass.vtp"
# A host chunk is the preset's place in the library, a NUL, then the preset itself.
CHUNK=$(mktemp)
trap 'rm -f "$CHUNK"' EXIT
{ printf '%s\0' "$PRESET"; cat "build/Presets/$PRESET"; } > "$CHUNK"

build/vantorel-render --plugin build/Vantorel.so --chunk "$CHUNK" --midi demo/bassline.mid \
  --tempo 120 --rate 48000 --out demo.wav

echo
echo "Played \"$PRESET\" to demo.wav"
echo "Plug-in:        $(pwd)/build/Vantorel.so"
echo "Presets folder: $(pwd)/build/Presets"
