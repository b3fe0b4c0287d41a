/* Loads the library at run time, as a printer driver does: resolves every
 * entry point under its plain and its decorated name (both must give the same
 * address), then runs a short grey job and a short colour job end to end.
 *
 * usage: load_library LIBRARY PACK_FOLDER
 *
 * PACK_FOLDER holds the resources as <id>.txt (directories) and <id>.bin
 * files, as the command's pack export writes them. The program prints each
 * job's dot checksum, so that builds for different machines can be compared,
 * and exits non-zero on the first failure. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "kestrl30.h"

#if defined(_WIN32)
#include <windows.h>
typedef HMODULE Library;
static Library openLibrary(const char* path) {
  return LoadLibraryA(path);
}
static void* exportedAddress(Library library, const char* name) {
  return (void*)GetProcAddress(library, name);
}
static void closeLibrary(Library library) {
  FreeLibrary(library);
}
/* A DLL's export table carries the decorated names itself. */
enum { kDecoratedNamesExported = 1 };
#else
#include <dlfcn.h>
typedef void* Library;
static Library openLibrary(const char* path) {
  return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}
static void* exportedAddress(Library library, const char* name) {
  return dlsym(library, name);
}
static void closeLibrary(Library library) {
  dlclose(library);
}
/* ELF reads '@' in a symbol name as a version tag: the decorated names are
 * resolved through the library's own resolver instead. */
enum { kDecoratedNamesExported = 0 };
#endif

enum { kLines = 6, kWidth = 96, kPlanes = 4, kMaxStages = 16 };

/* Every entry point of the library, indexed as entry_points.inc lists them. */
enum {
#define KESTRL_ENTRY_POINT(name, argumentBytes) kEntry##name,
#include "api/entry_points.inc"
#undef KESTRL_ENTRY_POINT
  kEntryPoints
};

static const char* const kNames[kEntryPoints][2] = {
#define KESTRL_ENTRY_POINT(name, argumentBytes) {#name, "_A_" #name "@" #argumentBytes},
#include "api/entry_points.inc"
#undef KESTRL_ENTRY_POINT
};

/* The entry points the jobs call. */
typedef struct Api {
  KestrlStatus(KESTRL_CALL* cmNew)(const ColorSettings*, const PrintMode*, uint32_t, int32_t*,
                                   CmContext**);
  KestrlStatus(KESTRL_CALL* cmSetResource)(CmContext*, const void*, int32_t*);
  KestrlStatus(KESTRL_CALL* cmDelete)(CmContext*);
  CmLut*(KESTRL_CALL* cmGetLut)(CmContext*);
  KestrlStatus(KESTRL_CALL* halftoneNew)(const PrintMode*, const CmLut*, uint32_t, int32_t*,
                                         HalftoneContext**);
  KestrlStatus(KESTRL_CALL* halftoneSetResource)(HalftoneContext*, const void*, int32_t*);
  KestrlStatus(KESTRL_CALL* halftone)(HalftoneContext*, const uint8_t*, uint8_t*, uint32_t,
                                      uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t,
                                      uint32_t);
  KestrlStatus(KESTRL_CALL* halftoneDelete)(HalftoneContext*);
} Api;

/* Object and function pointers may not be converted directly in C. */
#define TAKE_ENTRY(api, field, name) \
  memcpy(&(api)->field, &addresses[kEntry##name], sizeof(api)->field)

typedef void* (*Resolver)(const char*);

static int fail(const char* what, const char* detail, unsigned long value) {
  fprintf(stderr, "load_library: %s %s (%lu)\n", what, detail, value);
  return 0;
}

/* Fills `api` from one set of names (0 plain, 1 decorated); every name must
 * resolve, and the library's resolver must give the same address. */
static int resolveNames(Library library, Resolver resolver, int decorated, Api* api) {
  void* addresses[kEntryPoints];
  for (int i = 0; i < kEntryPoints; ++i) {
    const char* name = kNames[i][decorated];
    void* viaResolver = resolver(name);
    addresses[i] =
        decorated && !kDecoratedNamesExported ? viaResolver : exportedAddress(library, name);
    if (addresses[i] == NULL) return fail("cannot resolve", name, 0);
    if (viaResolver != addresses[i]) return fail("resolver disagrees on", name, 0);
    if (decorated && addresses[i] != resolver(kNames[i][0]))
      return fail("decorated and plain addresses differ for", name, 0);
  }
  TAKE_ENTRY(api, cmNew, CmNew);
  TAKE_ENTRY(api, cmSetResource, CmSetResource);
  TAKE_ENTRY(api, cmDelete, CmDelete);
  TAKE_ENTRY(api, cmGetLut, CmGetLut);
  TAKE_ENTRY(api, halftoneNew, HalftoneNew);
  TAKE_ENTRY(api, halftoneSetResource, HalftoneSetResource);
  TAKE_ENTRY(api, halftone, Halftone);
  TAKE_ENTRY(api, halftoneDelete, HalftoneDelete);
  return 1;
}

/* Reads resource `id` from the pack folder: <id>.bin, else <id>.txt. The
 * block ends with a NUL, which text directories need. */
static unsigned char* readResource(const char* folder, int32_t id) {
  static const char* const kExtensions[] = {"bin", "txt"};
  for (int e = 0; e < 2; ++e) {
    char path[1024];
    snprintf(path, sizeof path, "%s/%ld.%s", folder, (long)id, kExtensions[e]);
    FILE* file = fopen(path, "rb");
    if (file == NULL) continue;
    unsigned char* bytes = NULL;
    if (fseek(file, 0, SEEK_END) == 0) {
      const long size = ftell(file);
      bytes = size >= 0 ? calloc((size_t)size + 1, 1) : NULL;
      rewind(file);
      if (bytes != NULL && fread(bytes, 1, (size_t)size, file) != (size_t)size) {
        free(bytes);
        bytes = NULL;
      }
    }
    fclose(file);
    return bytes;
  }
  fail("no resource file in the pack for id", folder, (unsigned long)id);
  return NULL;
}

/* Hands the context the resource it names, stage after stage, until it
 * names none (-1). */
static int feedStages(const Api* api, CmContext* cm, HalftoneContext* ht, int32_t id,
                      const char* folder) {
  for (int stage = 0; id != -1; ++stage) {
    if (stage == kMaxStages) return fail("resource sequence does not end", folder, 0);
    unsigned char* block = readResource(folder, id);
    if (block == NULL) return 0;
    const KestrlStatus status =
        cm != NULL ? api->cmSetResource(cm, block, &id) : api->halftoneSetResource(ht, block, &id);
    free(block);
    if (status != KESTRL_STATUS_OK) return fail("resource stage failed:", "status", status);
  }
  return 1;
}

/* A source line: a ramp from full ink to white across the line, shifted on
 * each line; colour pixels get three different ramps. */
static void fillSource(uint8_t* source, int colour, uint32_t line) {
  for (uint32_t x = 0; x < kWidth; ++x) {
    const uint32_t ramp = (x * 255 + line * 37) / kWidth % 256;
    if (!colour) {
      source[x] = (uint8_t)ramp;
      continue;
    }
    source[3 * x] = (uint8_t)ramp;
    source[3 * x + 1] = (uint8_t)(255 - ramp);
    source[3 * x + 2] = (uint8_t)(ramp / 2 + 64);
  }
}

/* Runs one job end to end; on success stores the FNV-1a hash of every output
 * byte and the number of dots set on the first plane. */
static int runJob(const Api* api, const PrintMode* mode, const char* folder, uint32_t* checksum,
                  uint32_t* dots) {
  const ColorSettings settings = {0};
  CmContext* cm = NULL;
  HalftoneContext* ht = NULL;
  int32_t id = 0;
  KestrlStatus status = api->cmNew(&settings, mode, 0, &id, &cm);
  if (status != KESTRL_STATUS_OK) return fail("CmNew failed:", "status", status);
  int ok = feedStages(api, cm, NULL, id, folder);
  if (ok) {
    status = api->halftoneNew(mode, api->cmGetLut(cm), 0, &id, &ht);
    ok = status == KESTRL_STATUS_OK ? feedStages(api, NULL, ht, id, folder)
                                    : fail("HalftoneNew failed:", "status", status);
  }
  api->cmDelete(cm);
  const uint32_t stride = (kWidth * mode->bitsPerPixel + 7) / 8;
  uint8_t source[3 * kWidth];
  uint8_t planes[kPlanes * kWidth];
  *checksum = 2166136261u;
  *dots = 0;
  for (uint32_t line = 0; ok && line < kLines; ++line) {
    fillSource(source, mode->colorInput != 0, line);
    memset(planes, 0, sizeof planes);
    status = api->halftone(ht, source, planes, stride, 0, kWidth, 0, 0, line, 0, 0);
    if (status != KESTRL_STATUS_OK) ok = fail("Halftone failed:", "status", status);
    for (uint32_t i = 0; i < kPlanes * stride; ++i) {
      *checksum = (*checksum ^ planes[i]) * 16777619u;
      if (i >= stride) continue;
      for (uint8_t bits = planes[i]; bits != 0; bits &= (uint8_t)(bits - 1)) ++*dots;
    }
  }
  if (ht != NULL && (status = api->halftoneDelete(ht)) != KESTRL_STATUS_OK)
    ok = fail("HalftoneDelete failed:", "status", status);
  return ok;
}

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: load_library LIBRARY PACK_FOLDER\n");
    return 2;
  }
  Library library = openLibrary(argv[1]);
  if (library == NULL) return fail("cannot load", argv[1], 0), 1;
  Resolver resolver = NULL;
  void* resolverAddress = exportedAddress(library, "Kestrl30ProcAddress");
  memcpy(&resolver, &resolverAddress, sizeof resolver);
  Api api, decorated;
  if (resolver == NULL) return fail("cannot resolve", "Kestrl30ProcAddress", 0), 1;
  if (!resolveNames(library, resolver, 0, &api) || !resolveNames(library, resolver, 1, &decorated))
    return 1;
  printf("resolved %d names\n", 2 * kEntryPoints);

  /* Mode 1 for a single-channel source; mode 0 with RGB input and four inks. */
  const PrintMode grey = {1, 0, 0, 0, 720, 720, 1, 0, 0, kWidth, 0};
  const PrintMode colour = {0, 0, 4, 1, 720, 720, 1, 0, 0, kWidth, 0};
  const PrintMode* const jobs[] = {&grey, &colour};
  const char* const jobNames[] = {"grey", "colour"};
  const uint32_t pixels = kLines * kWidth;
  for (int job = 0; job < 2; ++job) {
    uint32_t checksum = 0, dots = 0;
    if (!runJob(&api, jobs[job], argv[2], &checksum, &dots))
      return fail("job failed:", jobNames[job], 0), 1;
    /* A ramp from full ink to white sets some dots and leaves some out. */
    if (dots == 0 || dots >= pixels) return fail("no halftone in", jobNames[job], dots), 1;
    printf("%s job: %lu dots, checksum %08lx\n", jobNames[job], (unsigned long)dots,
           (unsigned long)checksum);
  }
  closeLibrary(library);
  return 0;
}
