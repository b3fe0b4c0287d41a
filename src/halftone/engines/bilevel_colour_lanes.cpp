// The one-bit colour loop with its three diffused planes in SIMD lanes,
// compiled once per instruction set (SSE4, AVX2, AVX-512) and chosen at
// setup by what the processor runs.
//
// A run is worked in chunks: the cells of the three error lines that a
// chunk reaches are interleaved into a scratch on the stack (pixel x: lanes
// 0, 1, 2 for lines 0, 1, 2, lane 3 unused), the pixels are worked there,
// and the cells are written back, so the error lines keep the layout the
// scalar loop and every other engine use. At each pixel the planes read
// their cells, decide their dots as the scalar loop does, and the spread of
// all three is one pass over the vectors around x: the vectors are loaded
// and stored at the same aligned places from pixel to pixel (the weight
// rows are read at the pixel's place in its vector), so each store forwards
// to the next pixel's load.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "halftone/engines/bilevel_colour_loop.h"
#include "halftone/kernels/plane_lanes.h"

// The instruction sets the kernels are compiled for; the processor is asked
// for exactly the features they name.
#ifndef HWY_DISABLED_TARGETS
#define HWY_DISABLED_TARGETS (HWY_SSSE3 | HWY_AVX3_DL)
#endif
#define HWY_DISABLE_PCLMUL_AES
#define HWY_DISABLE_F16C

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "halftone/engines/bilevel_colour_lanes.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace kestrl::halftone::diffusion::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

#if HWY_TARGET != HWY_SCALAR && HWY_TARGET != HWY_EMU128

// What one diffused plane does at a pixel: an idle plane spreads nothing.
struct PlaneStep {
  bool active = false;
  uint8_t row = 0;
  int32_t e = 0;
};

template <const KernelTable& kPatterns>
class LanePlanes {
  using Patterns = lanes::LanePatterns<kPatterns>;
  using D = hn::ScalableTag<int16_t>;
  using D64 = hn::Repartition<uint64_t, D>;
  using V = hn::Vec<D>;
  static constexpr size_t kCells = lanes::kCellsPerPixel;
  static constexpr size_t kPixels = HWY_LANES(int16_t) / kCells;  // pixels in a vector
  static constexpr lanes::VectorWindow kWindow =
      lanes::windowOf(Patterns::kBelow, Patterns::kAbove, static_cast<int>(kPixels));
  static_assert(lanes::windowFits(Patterns::kBelow, Patterns::kAbove, static_cast<int>(kPixels)));
  // Scratch pixels before a chunk's first pixel and after its last: room for
  // the widest vector window.
  static constexpr size_t kLead = lanes::kLowestOffset;

 public:
  static constexpr uint32_t kChunk = 512;  // even: chunks keep the pixel pairs

  explicit LanePlanes(const std::array<int16_t*, kDiffusedPlanes>& lines)
      : lines_(lines), carry_(hn::Zero(D())), group_(hn::ShiftRight<2>(hn::Iota(D(), 0))) {
    std::ranges::fill(scratch_, int16_t{0});
  }

  // Interleaves the cells that pixels x0 .. x0 + count - 1 reach.
  void begin(uint32_t x0, uint32_t count) {
    x0_ = x0, count_ = count, cell_ = kLead;
    for (int i = -Patterns::kBelow; i < static_cast<int>(count) + Patterns::kAbove; ++i) {
      int16_t* cells = &scratch_[(kLead + i) * kCells];
      for (size_t k = 0; k < kDiffusedPlanes; ++k)
        cells[k] = lines_[k][static_cast<ptrdiff_t>(x0) + i];
    }
    own_ = cellsOf(cell_);
  }

  // Writes the chunk's cells back to the error lines.
  void end() {
    for (int i = -Patterns::kBelow; i < static_cast<int>(count_) + Patterns::kAbove; ++i) {
      const int16_t* cells = &scratch_[(kLead + i) * kCells];
      for (size_t k = 0; k < kDiffusedPlanes; ++k)
        lines_[k][static_cast<ptrdiff_t>(x0_) + i] = cells[k];
    }
  }

  int32_t error(uint32_t k) const { return readCell<CellRead::kShift>(own_[k]); }

  void settle(CarryAtCell rule) {
    const D d;
    own_ = cellsOf(cell_ + 1);
    int16_t* at = &scratch_[(cell_ - cell_ % kPixels) * kCells];
    const V value = rule == CarryAtCell::kStore ? carry_ : hn::Zero(d);
    hn::Store(hn::IfThenElse(ownCells(), value, hn::Load(d, at)), d, at);
    if (rule != CarryAtCell::kKeepPending) carry_ = hn::Zero(d);
    ++cell_;
  }

  // Plane k settles, or spreads e by a row; the spreads are made at endPixel.
  void idle(uint32_t k, CarryAtCell /*rule*/) { steps_[k] = {}; }
  void spread(uint32_t k, uint32_t row, Parity /*parity*/, int32_t e) {
    steps_[k] = {true, static_cast<uint8_t>(row), e};
  }

  void endPixel(Parity parity, CarryAtCell idle) {
    const std::array<PlaneStep, kDiffusedPlanes>& steps = steps_;
    const D d;
    const D64 d64;
    const auto p = static_cast<size_t>(parity);
    uint64_t errors = 0, halves = 0, active = 0, carryOfError = 0, carryOfHalf = 0;
    std::array<const int16_t*, kDiffusedPlanes> ofError{}, ofHalf{};
    // The next pixel's cells, worked out apart from the vectors so that its
    // decision waits on this pixel's errors alone.
    constexpr size_t kRight = (lanes::kLowestOffset + 1) * kCells;
    const std::array<int16_t, kDiffusedPlanes> right = cellsOf(cell_ + 1);
    for (size_t k = 0; k < kDiffusedPlanes; ++k) {
      const PlaneStep& s = steps[k];
      errors |= uint64_t{static_cast<uint16_t>(s.e)} << (16 * k);
      halves |= uint64_t{static_cast<uint16_t>(s.e >> 1)} << (16 * k);
      active |= uint64_t{s.active ? 0xFFFFu : 0u} << (16 * k);
      ofError[k] = Patterns::kOfError.taps[k][s.row][p].data();
      ofHalf[k] = Patterns::kOfHalf.taps[k][s.row][p].data();
      carryOfError |= Patterns::kOfError.carry[k][s.row][p];
      carryOfHalf |= Patterns::kOfHalf.carry[k][s.row][p];
      int32_t next = wrapAdd(right[k], wrapMul(ofError[k][kRight + k], s.e));
      if constexpr (Patterns::kHalf) next = wrapAdd(next, wrapMul(ofHalf[k][kRight + k], s.e >> 1));
      own_[k] = wrap16(next);
    }
    const V e = hn::BitCast(d, hn::Set(d64, errors));
    const V h = hn::BitCast(d, hn::Set(d64, halves));
    const V activeLanes = hn::BitCast(d, hn::Set(d64, active));
    // An idle plane's cell takes the carry only when the engine stores it.
    const V carryIn = idle == CarryAtCell::kStore ? carry_ : hn::And(carry_, activeLanes);
    const size_t phase = cell_ % kPixels;
    const size_t before = static_cast<size_t>(kWindow.before) * kPixels;
    int16_t* at = &scratch_[(cell_ - phase - before) * kCells];
    size_t weightAt = (lanes::kLowestOffset - phase - before) * kCells;
    for (int j = 0; j < kWindow.count; ++j, at += kPixels * kCells, weightAt += kPixels * kCells) {
      V cells = hn::Load(d, at);
      if (j == kWindow.before) cells = hn::IfThenElse(ownCells(), carryIn, cells);
      cells = hn::Add(cells, hn::Mul(weights(ofError, weightAt), e));
      if constexpr (Patterns::kHalf) cells = hn::Add(cells, hn::Mul(weights(ofHalf, weightAt), h));
      hn::Store(cells, d, at);
    }
    V carry = hn::Mul(hn::BitCast(d, hn::Set(d64, carryOfError)), e);
    if constexpr (Patterns::kHalf) {
      carry = hn::Add(carry, hn::Mul(hn::BitCast(d, hn::Set(d64, carryOfHalf)), h));
    }
    // An idle plane keeps its carry for its next active pixel, or drops it.
    if (idle == CarryAtCell::kKeepPending) carry = hn::Add(carry, hn::AndNot(activeLanes, carry_));
    carry_ = carry;
    ++cell_;
  }

 private:
  std::array<int16_t, kDiffusedPlanes> cellsOf(size_t pixel) const {
    const int16_t* cells = &scratch_[pixel * kCells];
    return {cells[0], cells[1], cells[2]};
  }

  // The lanes of the pixel's own cells in its vector.
  hn::Mask<D> ownCells() const {
    return hn::Eq(group_, hn::Set(D(), static_cast<int16_t>(cell_ % kPixels)));
  }

  static V weights(const std::array<const int16_t*, kDiffusedPlanes>& rows, size_t at) {
    const D d;
    return hn::Add(hn::Add(hn::LoadU(d, rows[0] + at), hn::LoadU(d, rows[1] + at)),
                   hn::LoadU(d, rows[2] + at));
  }

  std::array<int16_t*, kDiffusedPlanes> lines_;
  uint32_t x0_ = 0, count_ = 0;
  size_t cell_ = kLead;
  std::array<int16_t, kDiffusedPlanes> own_{};  // the cells of pixel cell_
  std::array<PlaneStep, kDiffusedPlanes> steps_{};
  V carry_;
  V group_;  // lane i: i / 4, the pixel of the lane in its vector
  alignas(64) std::array<int16_t, (kLead + kChunk + kLead) * kCells> scratch_;
};

template <EngineRules kRules, bool kInkSource>
[[gnu::flatten]] void runLanes(const LaneRunArgs& a) {
  using Planes = LanePlanes<patternsOf<kRules.family>()>;
  BilevelColourLoop<kRules, kInkSource, Planes> loop(a.tables, a.matrixRow, a.planes, a.lines);
  for (uint32_t done = 0; done < a.count;) {
    const uint32_t n = std::min(a.count - done, Planes::kChunk);
    loop.diffused().begin(a.startX + done, n);
    loop.run(a.source + a.stepping.offsetOf(done), a.stepping, a.startX + done, n);
    loop.diffused().end();
    done += n;
  }
}

template <size_t... i>
constexpr std::array<LaneRun, kLaneVariants> runsOf(std::index_sequence<i...>) {
  return {runLanes<kLaneRules[i / 2], i % 2 != 0>...};
}

#if HWY_TARGET == HWY_SSE4
constexpr const char* kTargetName = "SSE4";
#elif HWY_TARGET == HWY_AVX2
constexpr const char* kTargetName = "AVX2";
#else
constexpr const char* kTargetName = "AVX-512";
#endif

const PlaneLaneKernels kKernels = {kTargetName, runsOf(std::make_index_sequence<kLaneVariants>())};

const PlaneLaneKernels* kernels() {
  return &kKernels;
}

#else

const PlaneLaneKernels* kernels() {
  return nullptr;
}

#endif

}  // namespace kestrl::halftone::diffusion::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace kestrl::halftone::diffusion {

namespace {

// The compiled kernels the processor runs, best first.
std::vector<const PlaneLaneKernels*> runnableKernels() {
  std::vector<const PlaneLaneKernels*> runnable;
#if HWY_ARCH_X86_64 && (HWY_TARGETS & HWY_AVX3)
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
      __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512bw")) {
    runnable.push_back(N_AVX3::kernels());
  }
#endif
#if HWY_ARCH_X86_64 && (HWY_TARGETS & HWY_AVX2)
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
      __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("fma")) {
    runnable.push_back(N_AVX2::kernels());
  }
#endif
#if HWY_ARCH_X86_64 && (HWY_TARGETS & HWY_SSE4)
  if (__builtin_cpu_supports("sse4.2")) runnable.push_back(N_SSE4::kernels());
#endif
  std::erase(runnable, nullptr);
  return runnable;
}

}  // namespace

std::span<const PlaneLaneKernels* const> runnablePlaneLaneKernels() {
  static const std::vector<const PlaneLaneKernels*> runnable = runnableKernels();
  return runnable;
}

const PlaneLaneKernels* bestPlaneLaneKernels() {
  const auto runnable = runnablePlaneLaneKernels();
  return runnable.empty() ? nullptr : runnable.front();
}

}  // namespace kestrl::halftone::diffusion
#endif
