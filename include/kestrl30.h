/*
 * Kestrl30: colour management and halftoning for printer drivers.
 *
 * A print job runs through two services. Colour management (Cm*) builds the
 * job's colour table from resource blocks the driver supplies by number;
 * halftoning (Halftone*) turns each run of a raster line into packed dot data.
 * Every function returns a status code (KESTRL_STATUS_*), except CmGetLut.
 *
 * The library keeps no global state: everything lives in the two opaque
 * contexts. A context may be used by one thread at a time.
 */
#ifndef KESTRL30_H
#define KESTRL30_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Calling convention: stdcall on 32-bit x86, the platform default elsewhere. */
#if defined(_MSC_VER) && defined(_M_IX86)
#define KESTRL_CALL __stdcall
#elif defined(__GNUC__) && defined(__i386__)
#define KESTRL_CALL __attribute__((stdcall))
#else
#define KESTRL_CALL
#endif

#if defined(_WIN32)
/* The DLL's module-definition file lists its exports: each entry point
 * under its plain name and its decorated alias. */
#define KESTRL_API
#elif defined(__GNUC__)
#define KESTRL_API __attribute__((visibility("default")))
#else
#define KESTRL_API
#endif

/* Status codes, grouped by high byte: 0x01xx memory, 0x02xx arguments and
 * modes, 0x03xx resource data. */
typedef uint32_t KestrlStatus;
enum {
  KESTRL_STATUS_OK = 0,
  KESTRL_STATUS_ALLOC_FAILED = 257,         /* allocating a memory block failed */
  KESTRL_STATUS_LOCK_FAILED = 258,          /* locking a fresh block failed */
  KESTRL_STATUS_UNLOCK_FAILED = 259,        /* unlocking a block during release failed */
  KESTRL_STATUS_FREE_FAILED = 260,          /* freeing a block failed */
  KESTRL_STATUS_UNSUPPORTED_MODE = 512,     /* mode/output combination not supported */
  KESTRL_STATUS_BAD_PARAMETER = 513,        /* missing or inconsistent parameter */
  KESTRL_STATUS_BAD_SECOND_PARAMETER = 514, /* second parameter missing or wrong */
  KESTRL_STATUS_RESERVED_NOT_ZERO = 515,    /* reserved argument not zero */
  KESTRL_STATUS_RUN_OUTSIDE_LINE = 518,     /* startX + pixelCount exceeds lineWidth */
  KESTRL_STATUS_RESERVED9_NOT_ZERO = 522,
  KESTRL_STATUS_RESERVED10_NOT_ZERO = 523,
  KESTRL_STATUS_BAD_RESOURCE = 768 /* bad resource data or wrong stage */
};

/* The job's print mode: eleven 32-bit words.
 *
 * inkSet 4: the source already carries the inks. With one-bit colour output
 * in modes 1 and 2 each source pixel is four bytes, the levels of planes 0 to
 * 3 (0 none, 255 full), stepped by sourceStep like RGB pixels; a pixel whose
 * four levels are all 0 is paper white (no dots, like R + G + B = 765 for
 * RGB), and the colour grid is not used. Mode 2 keeps too few error lines for
 * colour diffusion: such runs are refused with KESTRL_STATUS_BAD_PARAMETER. */
typedef struct PrintMode {
  uint32_t mode;         /* halftone mode, 0 to 3 */
  uint32_t colorMethod;  /* colour engine choice in modes 0, 2, 3 */
  uint32_t inkSet;       /* output ink configuration; 0 exactly when colorInput is 0 */
  uint32_t colorInput;   /* 0: single-channel source; else RGB through the colour grid */
  uint32_t xResolution;  /* dots per inch */
  uint32_t yResolution;  /* dots per inch */
  uint32_t bitsPerPixel; /* 2: four-level output; anything else one-bit */
  int32_t sourceStep;    /* 0: one value per pixel, 1: one per two pixels, -1: two per pixel */
  uint32_t reserved8;
  uint32_t lineWidth; /* pixels per raster line */
  uint32_t reserved10;
} PrintMode;

/* One (tag, value) pair of a tag list. */
typedef struct CmTagPair {
  uint32_t tag;
  const void* value;
} CmTagPair;

/* A tag-list value given with its size: pair the tag number ORed with
 * KESTRL_TAG_SIZED with a pointer to a CmSizedValue, and the library reads the
 * value only within `size` bytes. A value too short for its tag is treated as
 * a bad one: tone curves (tag 256, 768 bytes) or a gamma (tag 1, 4 bytes) too
 * short make the adjustment pass fail (CmGetAdjustStatus tells), a
 * calibration record (tag 512) too short for the table's channels is not
 * taken. Plain tags keep their meaning: the value is trusted. */
#define KESTRL_TAG_SIZED 0x80000000u

/* Tag numbers the colour side looks up. */
#define KESTRL_TAG_GAMMA 1u         /* a 4-byte gamma */
#define KESTRL_TAG_CURVES 256u      /* tone curves, 768 bytes */
#define KESTRL_TAG_CALIBRATION 512u /* the calibration record */

typedef struct CmSizedValue {
  const void* data;
  uint32_t size; /* bytes at data */
} CmSizedValue;

/* A tag list: a signed count followed inline by that many pairs. Declare
 * storage for larger lists with a struct of your own that starts with the
 * same two members; the library reads `count` pairs from `pairs`. */
typedef struct CmTagList {
  int32_t count;
  CmTagPair pairs[1];
} CmTagList;

/* Colour settings of a job. Adjustments range from -50 to 50. */
typedef struct ColorSettings {
  int32_t adjustMode; /* 0: curves from the words below; else from tag 256 */
  int32_t brightness;
  int32_t contrast;
  int32_t saturation;
  int32_t redOffset;
  int32_t greenOffset;
  int32_t blueOffset;
  int32_t selectNumber;  /* matched against directory entries */
  int32_t selectName;    /* matched against the directory's second name list */
  int32_t classOverride; /* 1: class 4 with composite grey; 4: class 0 */
  int32_t colorClass;    /* default table class */
  int32_t greyStyle;     /* with inkSet non-zero, anything but 50 sets compositeGrey */
  int32_t reserved12;
  int32_t reserved13;
  const CmTagList* tagList; /* optional data, followed during the resource stages */
} ColorSettings;

/* A memory block descriptor: a block or a view into another block. */
typedef struct MemoryBlock {
  uint32_t size;
  void* data;       /* the locked pointer; null when unlocked or empty */
  void* allocation; /* the owned allocation; null for views and empty entries */
} MemoryBlock;

#define KESTRL_MAX_GRID_POINTS 68

/* The colour table record that colour management builds and halftoning copies. */
typedef struct CmLut {
  uint32_t lutKind;
  uint32_t channelCount;
  uint32_t compositeGrey;
  int32_t headerParams[4];
  int32_t scaleParams[5];
  int32_t gridPoints[3];
  uint8_t breakpoints[3][KESTRL_MAX_GRID_POINTS];
  uint8_t greyRamp[256];
  uint8_t* gridData;
  void* gridBlock;
  uint32_t resourceId;
  int32_t resourceCode;
  uint8_t* extraData;
  void* extraBlock;
  void* selfBlock;
} CmLut;

typedef struct CmContext CmContext;
typedef struct HalftoneContext HalftoneContext;

/* Null pointers. A null pointer argument that a function can see is refused
 * with KESTRL_STATUS_BAD_PARAMETER before anything is written, allocated or
 * counted: any pointer of CmNew; the context or nextId of the four resource
 * calls; the context of CmDelete, CmGetAdjustStatus, HalftoneDelete and
 * Halftone; firstId or context of HalftoneNew (after its reserved-word check,
 * 515, a null printMode, 513, and a null lut, 514); the source or destination
 * of Halftone when pixelCount is not 0 (an empty run needs neither).
 * CmGetLut(NULL) returns NULL. A null resource block holds nothing: a stage
 * that reads its block refuses it with KESTRL_STATUS_BAD_RESOURCE (the stage
 * counts as run). A context that is not null is trusted to be live. */

KESTRL_API KestrlStatus KESTRL_CALL CmNew(const ColorSettings* settings, const PrintMode* printMode,
                                          uint32_t reserved, int32_t* firstId, CmContext** context);
KESTRL_API KestrlStatus KESTRL_CALL CmSetResource(CmContext* context, const void* block,
                                                  int32_t* nextId);
KESTRL_API KestrlStatus KESTRL_CALL CmDelete(CmContext* context);
KESTRL_API CmLut* KESTRL_CALL CmGetLut(CmContext* context);

KESTRL_API KestrlStatus KESTRL_CALL HalftoneNew(const PrintMode* printMode, const CmLut* lut,
                                                uint32_t reserved, int32_t* firstId,
                                                HalftoneContext** context);
KESTRL_API KestrlStatus KESTRL_CALL HalftoneSetResource(HalftoneContext* context, const void* block,
                                                        int32_t* nextId);
KESTRL_API KestrlStatus KESTRL_CALL Halftone(HalftoneContext* context, const uint8_t* source,
                                             uint8_t* destination, uint32_t planeStride,
                                             uint32_t bitOffset, uint32_t pixelCount,
                                             uint32_t startX, uint32_t reserved7,
                                             uint32_t lineNumber, uint32_t reserved9,
                                             uint32_t reserved10);
KESTRL_API KestrlStatus KESTRL_CALL HalftoneDelete(HalftoneContext* context);

/* Sized resource calls: the same stage as CmSetResource and
 * HalftoneSetResource on a block of blockSize bytes. The unsized calls trust
 * the block to hold everything its own counts, offsets and sizes describe;
 * these read only within blockSize bytes. A block whose own sizes reach past
 * its end (a truncated colour table, a threshold matrix with fewer cells than
 * its sides say, an id list or channel map without its end marker, a
 * dot-size table, nominal values or correction tables shorter than read) is
 * refused with KESTRL_STATUS_BAD_RESOURCE before the stage changes any table
 * or allocates anything; the stage counts as run, as every failed stage does.
 * An id list keeps the ids read before its end, as a list refused for a
 * sixteenth id does, so the next stage still hands back the id it names.
 * A directory is text that ends at its last byte (or an earlier NUL or 0x1A)
 * and needs no terminator. A null block is refused the same way. */
KESTRL_API KestrlStatus KESTRL_CALL CmSetResourceSized(CmContext* context, const void* block,
                                                       uint32_t blockSize, int32_t* nextId);
KESTRL_API KestrlStatus KESTRL_CALL HalftoneSetResourceSized(HalftoneContext* context,
                                                             const void* block, uint32_t blockSize,
                                                             int32_t* nextId);

/* The status of the colour adjustment pass of stage 2, which CmSetResource
 * does not report: 0 when the caller's adjustments were folded into the grid
 * (and before stage 2). Otherwise the grid stays as the colour table loaded
 * it: 257 or 258 (memory), 513 (adjustMode without tag 256, or an adjustment
 * outside -50 to 50), 514 (gamma outside 100 to 300) or 768 (sized tone
 * curves too short). A caller can warn that its settings were not applied. */
KESTRL_API KestrlStatus KESTRL_CALL CmGetAdjustStatus(CmContext* context);

/* Looks up an entry point by its plain name ("CmNew") or its decorated alias
 * ("_A_CmNew@20"); both give the same address. Null for any other name. */
KESTRL_API void* Kestrl30ProcAddress(const char* name);

#ifdef __cplusplus
}
#endif

#endif /* KESTRL30_H */
