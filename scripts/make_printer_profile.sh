#!/usr/bin/env bash
# Remakes the built-in printer profile, tools/colour/profiles/kestrl-fogra39.icc,
# from the FOGRA39 characterisation data Debian ships (icc-profiles-free:
# 1,617 offset-printed CMYK patches measured as CIELAB) with ArgyllCMS colprof
# (argyll). Medium quality, black generation ramp (-kr), total ink limit 320 %,
# black limit 100 %, perceptual tables gamut-mapped from sRGB. Takes a few
# minutes; the result is committed, so the build needs neither package. After
# remaking it, run `kestrl_pack_generator --separation
# tools/pack/default_separation.inc` (see docs/kestrl.md).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh argyll icc-profiles-free
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp /usr/share/color/icc/FOGRA39L.ti3 "$work/"
(cd "$work" && colprof -v -qm -kr -l320 -L100 -S /usr/share/color/argyll/ref/sRGB.icm \
  -D "Kestrl default printer: FOGRA39 measurements" \
  -C "Profile data: Fogra characterisation data FOGRA39L" \
  -O kestrl-fogra39.icc FOGRA39L)
cp "$work/kestrl-fogra39.icc" tools/colour/profiles/kestrl-fogra39.icc
