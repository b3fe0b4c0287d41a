// libvips, loaded when a picture first needs it. The command does not link
// the image library: most of its runs (pack subcommands, PNM and plain PNG
// pictures printed pixel for pixel) never touch it, and loading it with its
// hundred dependencies costs far more than a small render.
#pragma once

#include <vips/vips.h>

#include <memory>
#include <string>

namespace kestrl::tool {

// The libvips entry points the command uses, resolved by name.
struct VipsApi {
  decltype(&vips_init) init;
  decltype(&vips_error_buffer) errorBuffer;
  decltype(&vips_error_clear) errorClear;
  decltype(&vips_cache_set_max) cacheSetMax;
  decltype(&vips_source_new_from_file) sourceFromFile;
  decltype(&vips_source_new_from_descriptor) sourceFromDescriptor;
  decltype(&vips_foreign_find_load_source) findLoadSource;
  decltype(&vips_image_new_from_source) imageFromSource;
  decltype(&vips_image_new_from_memory_copy) imageFromMemory;
  decltype(&vips_image_get_n_pages) pageCount;
  decltype(&vips_image_hasalpha) hasAlpha;
  decltype(&vips_image_get_typeof) typeOf;
  decltype(&vips_icc_transform) iccTransform;
  decltype(&vips_colourspace) colourspace;
  decltype(&vips_cast) cast;
  decltype(&vips_flatten) flatten;
  decltype(&vips_extract_band) extractBand;
  decltype(&vips_resize) resize;
  decltype(&vips_embed) embed;
  decltype(&vips_sink_disc) sinkDisc;
  decltype(&vips_array_double_new) arrayDouble;
  decltype(&vips_area_unref) areaUnref;
  void (*objectUnref)(void*);
};

// Loads and starts libvips once; null, with the reason in `error`, when it
// cannot be loaded.
const VipsApi* vipsApi(std::string& error);

// The library's pending error messages as one line, and cleared.
std::string vipsError(const VipsApi& api);

// Owning handles for libvips objects.
struct VipsUnref {
  const VipsApi* api;
  void operator()(void* object) const {
    if (object) api->objectUnref(object);
  }
};
using VipsImagePtr = std::unique_ptr<VipsImage, VipsUnref>;
using VipsSourcePtr = std::unique_ptr<VipsSource, VipsUnref>;

}  // namespace kestrl::tool
