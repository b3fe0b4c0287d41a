#!/usr/bin/env bash
# Whole-process comparison on the same generated 12,240 x 1,000 pictures:
#   grey:   kestrl render --grey --mode 1   against  pamditherbw -fs (netpbm)
#   colour: kestrl render (four planes)     against  ImageMagick's four-plane
#           Floyd-Steinberg (CMYK separation, each plane dithered to one bit)
# Each command runs RUNS times (default 3); the best wall time counts.
# Usage: bash bench/whole_command.sh [BUILD_DIR]; KESTRL=path measures another
# build of the command.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/whole_process.sh
install_missing pamditherbw:netpbm convert:imagemagick /usr/bin/time:time
kestrl=$(kestrl_to_measure "${1:-build}")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A diagonal grey ramp and a colour rainbow with a vertical fade.
pgmramp -diagonal 12240 1000 > "$work/grey.pgm"
ppmrainbow -width 12240 -height 1000 red yellow green cyan blue magenta > "$work/rainbow.ppm"
pnmscale -xsize 12240 -ysize 1000 "$work/rainbow.ppm" > "$work/colour.ppm" 2> /dev/null ||
  cp "$work/rainbow.ppm" "$work/colour.ppm"

# Best wall time and best processor time of the command given as arguments:
# "WALL CPU".
best() {
  best_of_runs "$@" | awk '{ print $1, $2 }'
}

# "kestrl's figures" "other's figures" -> a line with both and the ratios.
report() {
  local kw kc ow oc
  read -r kw kc <<< "$2"
  read -r ow oc <<< "$4"
  awk -v name="$1" -v other="$3" -v kw="$kw" -v kc="$kc" -v ow="$ow" -v oc="$oc" 'BEGIN {
    printf "%s: kestrl %.2f s wall, %.2f s processor; %s %.2f s wall, %.2f s processor: " \
           "kestrl %.1fx faster (wall), %.1fx (processor)\n",
           name, kw, kc, other, ow, oc, ow / kw, oc / kc }'
}

grey_k=$(best "$kestrl" render "$work/grey.pgm" --grey --mode 1 -o "$work/kg" --no-progress)
grey_n=$(best sh -c "pamditherbw -fs '$work/grey.pgm' > '$work/netpbm.pbm'")
colour_k=$(best "$kestrl" render "$work/colour.ppm" -o "$work/kc" --no-progress)
colour_m=$(best convert "$work/colour.ppm" -colorspace CMYK -separate -dither FloydSteinberg \
  -remap pattern:gray50 "$work/magick-%d.pbm")

echo "12,240 x 1,000 pixels, best of ${RUNS:-3} runs, whole process:"
report "grey (kestrl render --grey --mode 1)" "$grey_k" "pamditherbw -fs" "$grey_n"
report "colour, four planes (kestrl render)" "$colour_k" \
  "ImageMagick four-plane Floyd-Steinberg" "$colour_m"
