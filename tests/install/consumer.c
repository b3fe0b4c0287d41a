/* A driver built against an installed library: includes the installed
 * header, links the library, starts a colour job and stops it again. */
#include <stdio.h>

#include "kestrl30.h"

int main(void) {
  const ColorSettings settings = {0};
  const PrintMode mode = {1, 0, 0, 0, 720, 720, 1, 0, 0, 96, 0};
  CmContext* context = NULL;
  int32_t firstId = 0;
  const KestrlStatus status = CmNew(&settings, &mode, 0, &firstId, &context);
  if (status != KESTRL_STATUS_OK || context == NULL) {
    fprintf(stderr, "consumer: CmNew gave status %d\n", (int)status);
    return 1;
  }
  if (Kestrl30ProcAddress("CmNew") == NULL || CmDelete(context) != KESTRL_STATUS_OK) {
    fprintf(stderr, "consumer: the installed library does not resolve or delete\n");
    return 1;
  }
  printf("consumer: first resource %ld\n", (long)firstId);
  return 0;
}
