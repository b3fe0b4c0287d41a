/* Walks a halftone context through its life and prints what each call did:
 * HalftoneNew, the resource stages a one-bit grey job asks for, one Halftone
 * call on a grey ramp, HalftoneDelete. Every block goes with its size, so
 * the library refuses one shorter than its own header says instead of
 * reading past it. Written in C to show the public header is usable from C. */
#include <stdio.h>
#include <string.h>

#include "kestrl30.h"

#define LINE_WIDTH 64

static void report(const char* call, KestrlStatus status) {
  printf("%-22s status %u%s\n", call, (unsigned)status, status == KESTRL_STATUS_OK ? " (ok)" : "");
}

int main(void) {
  PrintMode mode;
  CmLut lut;
  HalftoneContext* context = NULL;
  int32_t id = 0;
  int i;
  KestrlStatus status;
  /* Stage 1: resource id list 10 (stage 2), 11, 12, 13 (stage 3 by resolution). */
  static const uint8_t ids[] = {10, 0, 11, 0, 12, 0, 13, 0, 0xFF, 0xFF};
  /* Stage 3: a 16 x 16 threshold matrix of 16-bit cells holding 0 to 255 once each. */
  uint8_t matrix[4 + 2 * 256];
  uint8_t source[LINE_WIDTH];
  uint8_t dots[LINE_WIDTH / 8];

  memset(&mode, 0, sizeof mode);
  mode.mode = 3;
  mode.xResolution = 720;
  mode.yResolution = 720;
  mode.bitsPerPixel = 1;
  mode.lineWidth = LINE_WIDTH;

  memset(&lut, 0, sizeof lut);
  lut.resourceCode = 100;
  lut.scaleParams[0] = 250;
  lut.scaleParams[1] = 100;
  lut.gridPoints[0] = lut.gridPoints[1] = lut.gridPoints[2] = 2;
  lut.breakpoints[0][1] = lut.breakpoints[1][1] = lut.breakpoints[2][1] = 255;
  for (i = 0; i < 256; ++i) lut.greyRamp[i] = (uint8_t)(255 - i);

  matrix[0] = 16;
  matrix[1] = 16;
  matrix[2] = 2;
  matrix[3] = 0;
  for (i = 0; i < 256; ++i) {
    /* An ordered-dither (Bayer) matrix: the low bits of x and y pick the high
     * base-4 digits of the cell value, which disperses the dots of each level. */
    static const int digit[2][2] = {{0, 2}, {3, 1}};
    int x = i % 16, y = i / 16, value = 0, bit;
    for (bit = 0; bit < 4; ++bit) value |= digit[(y >> bit) & 1][(x >> bit) & 1] << (6 - 2 * bit);
    matrix[4 + 2 * i] = (uint8_t)value;
    matrix[5 + 2 * i] = 0;
  }
  for (i = 0; i < LINE_WIDTH; ++i) source[i] = (uint8_t)(i * 4);
  memset(dots, 0, sizeof dots);

  status = HalftoneNew(&mode, &lut, 0, &id, &context);
  report("HalftoneNew", status);
  if (status != KESTRL_STATUS_OK) return 1;
  printf("  first resource id %d\n", (int)id);

  status = HalftoneSetResourceSized(context, ids, sizeof ids, &id);
  report("HalftoneSetResource 1", status);
  if (status == KESTRL_STATUS_OK) {
    status = HalftoneSetResourceSized(context, NULL, 0, &id); /* grey input: not read */
    report("HalftoneSetResource 2", status);
  }
  if (status == KESTRL_STATUS_OK) {
    status = HalftoneSetResourceSized(context, matrix, sizeof matrix, &id);
    report("HalftoneSetResource 3", status);
  }
  if (status == KESTRL_STATUS_OK) {
    int line;
    printf("  a grey ramp from dark (left) to light, 8 lines:\n");
    for (line = 0; line < 8 && status == KESTRL_STATUS_OK; ++line) {
      status = Halftone(context, source, dots, 0, 0, LINE_WIDTH, 0, 0, (uint32_t)line, 0, 0);
      printf("  ");
      for (i = 0; i < LINE_WIDTH; ++i) putchar(dots[i / 8] >> (7 - i % 8) & 1 ? '#' : '.');
      printf("\n");
    }
    report("Halftone x 8", status);
  }
  status = HalftoneDelete(context);
  report("HalftoneDelete", status);
  return status == KESTRL_STATUS_OK ? 0 : 1;
}
