#!/usr/bin/env bash
# Whole-process comparison on page 1 of a generated three-page Letter PDF
# (text, a triangle and a disc on every page):
#   kestrl render --mode 3 --bits 1 --resolution 1440x720 --print-width 8.5
#     (the whole page, 12,240 x 7,920 dots, one-bit ordered screening)
#   against  gs -sDEVICE=pamcmyk4 -r1440x720 (the same page to one-bit CMYK)
# and, beside them, kestrl's default job on the same page (no options).
# Each command runs RUNS times (default 3); the best wall time and the
# largest peak resident memory count.
# Usage: bash bench/pdf_vs_gs.sh [BUILD_DIR]; KESTRL=path measures another
# build of the command.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/whole_process.sh
install_missing gs:ghostscript /usr/bin/time:time
KESTRL=$(kestrl_to_measure "${1:-build}")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat > "$work/doc.ps" << 'PS'
%!PS
<< /PageSize [612 792] >> setpagedevice
1 1 3 {
  /pg exch def
  /Helvetica-Bold findfont 24 scalefont setfont
  72 720 moveto (Page ) show pg 3 string cvs show
  /Times-Roman findfont 11 scalefont setfont
  0 1 45 { /ln exch def 72 690 ln 13 mul sub moveto
    (The quick brown fox jumps over the lazy dog; pack my box with five dozen liquor jugs.) show } for
  gsave 0.2 0.5 0.8 setrgbcolor 100 60 moveto 300 60 lineto 200 100 lineto closepath fill grestore
  gsave 0.9 0.1 0.1 setrgbcolor 400 80 40 0 360 arc fill grestore
  showpage
} for
PS
gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=pdfwrite -sPAPERSIZE=letter \
  -sOutputFile="$work/doc.pdf" "$work/doc.ps"

# Best wall time and largest peak resident set of the command given as
# arguments: "WALL s, MB MB".
measure() {
  best_of_runs "$@" | awk '{ printf "%.2f s, %.0f MB", $1, $3 / 1024 }'
}

whole=$(measure "$KESTRL" render "$work/doc.pdf" --page 1 --mode 3 --bits 1 \
  --resolution 1440x720 --print-width 8.5 -o "$work/whole" --no-progress)
ghost=$(measure gs -q -dBATCH -dNOPAUSE -dSAFER -dFirstPage=1 -dLastPage=1 -sDEVICE=pamcmyk4 \
  -r1440x720 -sOutputFile="$work/gs.pam" "$work/doc.pdf")
default=$(measure "$KESTRL" render "$work/doc.pdf" --page 1 -o "$work/default" --no-progress)

echo "page 1 of a Letter PDF, best wall time and peak memory of ${RUNS:-3} runs, whole process:"
echo "  kestrl, whole page at 1440 x 720, mode 3 one-bit: $whole"
echo "  gs -sDEVICE=pamcmyk4 -r1440x720:                  $ghost"
echo "  kestrl, default job (no options):                 $default"
