#include "kestrl/vips_api.h"

#include <dlfcn.h>

#include <sstream>

namespace kestrl::tool {

namespace {

// The library's file names, most specific first.
constexpr const char* kLibraryNames[] = {"libvips.so.42", "libvips.so"};

template <typename Function>
bool resolve(void* library, const char* name, Function& function, std::string& missing) {
  function = reinterpret_cast<Function>(dlsym(library, name));
  if (!function) missing += std::string(missing.empty() ? "" : ", ") + name;
  return function != nullptr;
}

bool resolveAll(void* library, VipsApi& api, std::string& missing) {
  bool ok = resolve(library, "vips_init", api.init, missing);
  ok &= resolve(library, "vips_error_buffer", api.errorBuffer, missing);
  ok &= resolve(library, "vips_error_clear", api.errorClear, missing);
  ok &= resolve(library, "vips_cache_set_max", api.cacheSetMax, missing);
  ok &= resolve(library, "vips_source_new_from_file", api.sourceFromFile, missing);
  ok &= resolve(library, "vips_source_new_from_descriptor", api.sourceFromDescriptor, missing);
  ok &= resolve(library, "vips_foreign_find_load_source", api.findLoadSource, missing);
  ok &= resolve(library, "vips_image_new_from_source", api.imageFromSource, missing);
  ok &= resolve(library, "vips_image_new_from_memory_copy", api.imageFromMemory, missing);
  ok &= resolve(library, "vips_image_get_n_pages", api.pageCount, missing);
  ok &= resolve(library, "vips_image_hasalpha", api.hasAlpha, missing);
  ok &= resolve(library, "vips_image_get_typeof", api.typeOf, missing);
  ok &= resolve(library, "vips_icc_transform", api.iccTransform, missing);
  ok &= resolve(library, "vips_colourspace", api.colourspace, missing);
  ok &= resolve(library, "vips_cast", api.cast, missing);
  ok &= resolve(library, "vips_flatten", api.flatten, missing);
  ok &= resolve(library, "vips_extract_band", api.extractBand, missing);
  ok &= resolve(library, "vips_resize", api.resize, missing);
  ok &= resolve(library, "vips_embed", api.embed, missing);
  ok &= resolve(library, "vips_sink_disc", api.sinkDisc, missing);
  ok &= resolve(library, "vips_array_double_new", api.arrayDouble, missing);
  ok &= resolve(library, "vips_area_unref", api.areaUnref, missing);
  ok &= resolve(library, "g_object_unref", api.objectUnref, missing);
  return ok;
}

struct Loaded {
  VipsApi api{};
  std::string error;
  bool ok = false;
};

Loaded load() {
  Loaded loaded;
  void* library = nullptr;
  for (const char* name : kLibraryNames) {
    if ((library = dlopen(name, RTLD_NOW | RTLD_LOCAL))) break;
  }
  if (!library) {
    loaded.error = "this picture needs libvips (Debian package libvips42), which is not installed";
    return loaded;
  }
  std::string missing;
  if (!resolveAll(library, loaded.api, missing)) {
    loaded.error = "the installed libvips lacks " + missing;
    return loaded;
  }
  if (loaded.api.init("kestrl") != 0) {
    loaded.error = "libvips did not start: " + vipsError(loaded.api);
    return loaded;
  }
  // One picture per run: keeping finished operations around only costs memory.
  loaded.api.cacheSetMax(0);
  loaded.ok = true;
  return loaded;
}

}  // namespace

const VipsApi* vipsApi(std::string& error) {
  static const Loaded loaded = load();
  if (!loaded.ok) error = loaded.error;
  return loaded.ok ? &loaded.api : nullptr;
}

std::string vipsError(const VipsApi& api) {
  std::istringstream in(api.errorBuffer());
  std::string line, joined;
  while (std::getline(in, line)) {
    if (!line.empty()) joined += (joined.empty() ? "" : "; ") + line;
  }
  api.errorClear();
  return joined.empty() ? "unknown libvips error" : joined;
}

}  // namespace kestrl::tool
