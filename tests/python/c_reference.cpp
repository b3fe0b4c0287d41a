// The C path the Python tests and benchmark compare with: a page halftoned
// through the exported calls with the built-in pack, one Halftone call a
// line, the packed planes written as they come (planes x lines x row bytes).
//
//   kestrl_python_reference MODE BITS XRES YRES COLOUR INKSET METHOD STEP
//                           WIDTH LINES SOURCE OUTPUT [REPEATS]
//
// SOURCE holds the lines' samples back to back. With REPEATS the whole job
// (stages, page, release) runs that many times and the median seconds of a
// job are printed.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "kestrl/built_in_pack.h"
#include "pack/job.h"
#include "pack/pack_io.h"

namespace {

using kestrl::pack::Pack;
using kestrl::pack::sampleBytes;

size_t sourceSamples(const PrintMode& mode) {
  return kestrl::pack::sourceSamples(mode, mode.lineWidth);
}

// The whole job; the status of the first call that fails.
uint32_t runJob(const Pack& pack, const PrintMode& mode, uint32_t lines,
                const std::vector<uint8_t>& source, std::vector<uint8_t>& planes) {
  HalftoneContext* context = nullptr;
  uint32_t status = kestrl::pack::openHalftoneJob(pack, mode, &context);
  const uint32_t perByte = mode.bitsPerPixel == 2 ? 4 : 8;
  const uint32_t rowBytes = (mode.lineWidth + perByte - 1) / perByte;
  const size_t lineBytes = size_t{sourceSamples(mode)} * sampleBytes(mode);
  for (uint32_t y = 0; y < lines && status == KESTRL_STATUS_OK; ++y) {
    status = Halftone(context, source.data() + y * lineBytes, planes.data() + y * rowBytes,
                      rowBytes * lines, 0, mode.lineWidth, 0, 0, y, 0, 0);
  }
  if (context != nullptr) HalftoneDelete(context);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 13 && argc != 14) {
    std::fprintf(stderr,
                 "usage: %s MODE BITS XRES YRES COLOUR INKSET METHOD STEP WIDTH LINES "
                 "SOURCE OUTPUT [REPEATS]\n",
                 argv[0]);
    return 2;
  }
  auto number = [&](int i) { return static_cast<uint32_t>(std::strtol(argv[i], nullptr, 10)); };
  PrintMode mode{};
  mode.mode = number(1);
  mode.bitsPerPixel = number(2);
  mode.xResolution = number(3);
  mode.yResolution = number(4);
  mode.colorInput = number(5);
  mode.inkSet = number(6);
  mode.colorMethod = number(7);
  mode.sourceStep = static_cast<int32_t>(number(8));
  mode.lineWidth = number(9);
  const uint32_t lines = number(10);
  const int repeats = argc == 14 ? std::max(1, static_cast<int>(number(13))) : 1;

  std::vector<uint8_t> source;
  if (!kestrl::pack::readFile(argv[11], source) ||
      source.size() != size_t{lines} * sourceSamples(mode) * sampleBytes(mode)) {
    std::fprintf(stderr, "%s: cannot read %s or it has the wrong size\n", argv[0], argv[11]);
    return 1;
  }
  const Pack pack = kestrl::tool::builtInPack();
  const uint32_t planeCount = mode.colorInput != 0 ? 4 : 1;
  const uint32_t perByte = mode.bitsPerPixel == 2 ? 4 : 8;
  std::vector<uint8_t> planes(size_t{planeCount} * lines *
                              ((mode.lineWidth + perByte - 1) / perByte));
  std::vector<double> seconds;
  uint32_t status = KESTRL_STATUS_OK;
  for (int r = 0; r < repeats && status == KESTRL_STATUS_OK; ++r) {
    const auto start = std::chrono::steady_clock::now();
    status = runJob(pack, mode, lines, source, planes);
    seconds.push_back(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  if (status != KESTRL_STATUS_OK) {
    std::fprintf(stderr, "%s: status %u\n", argv[0], status);
    return 3;
  }
  if (argc == 14) {
    std::nth_element(seconds.begin(), seconds.begin() + seconds.size() / 2, seconds.end());
    std::printf("%.6f\n", seconds[seconds.size() / 2]);
  }
  return kestrl::pack::writeFile(argv[12], planes) ? 0 : 1;
}
