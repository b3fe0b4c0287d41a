/* Walks a halftone context through its life and prints what each call did:
 * HalftoneNew, the resource stages a one-bit grey job asks for, one Halftone
 * call on a grey ramp, HalftoneDelete. Written in C to show the public
 * header is usable from C. */
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
  /* Stage 3: a 4 x 4 threshold matrix of 16-bit cells. */
  uint8_t matrix[4 + 2 * 16];
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

  matrix[0] = 4;
  matrix[1] = 4;
  matrix[2] = 2;
  matrix[3] = 0;
  for (i = 0; i < 16; ++i) {
    matrix[4 + 2 * i] = (uint8_t)(i * 16);
    matrix[5 + 2 * i] = 0;
  }
  for (i = 0; i < LINE_WIDTH; ++i) source[i] = (uint8_t)(i * 4);
  memset(dots, 0, sizeof dots);

  status = HalftoneNew(&mode, &lut, 0, &id, &context);
  report("HalftoneNew", status);
  if (status != KESTRL_STATUS_OK) return 1;
  printf("  first resource id %d\n", (int)id);

  status = HalftoneSetResource(context, ids, &id);
  report("HalftoneSetResource 1", status);
  if (status == KESTRL_STATUS_OK) {
    status = HalftoneSetResource(context, NULL, &id); /* grey input: block not read */
    report("HalftoneSetResource 2", status);
  }
  if (status == KESTRL_STATUS_OK) {
    status = HalftoneSetResource(context, matrix, &id);
    report("HalftoneSetResource 3", status);
  }
  if (status == KESTRL_STATUS_OK) {
    status = Halftone(context, source, dots, 0, 0, LINE_WIDTH, 0, 0, 0, 0, 0);
    report("Halftone", status);
    printf("  dots:");
    for (i = 0; i < LINE_WIDTH / 8; ++i) printf(" %02x", dots[i]);
    printf("\n");
  }
  status = HalftoneDelete(context);
  report("HalftoneDelete", status);
  return status == KESTRL_STATUS_OK ? 0 : 1;
}
