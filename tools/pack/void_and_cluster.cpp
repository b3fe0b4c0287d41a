#include "pack/void_and_cluster.h"

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

namespace kestrl::pack {

namespace {

// A small deterministic generator (xorshift32), so the initial pattern does
// not depend on the standard library's distributions.
class Xorshift {
 public:
  explicit Xorshift(uint32_t seed) : state_(seed ? seed : 0x9E3779B9u) {}
  uint32_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }

 private:
  uint32_t state_;
};

// The toroidal Gaussian filter and the running energy of the set cells.
class Field {
 public:
  explicit Field(const VoidAndClusterOptions& o)
      : width_(o.width),
        height_(o.height),
        kernel_(cells()),
        energy_(cells(), 0.0),
        set_(cells(), 0) {
    for (uint32_t y = 0; y < height_; ++y) {
      const double dy = std::min(y, height_ - y) / o.sigmaY;
      for (uint32_t x = 0; x < width_; ++x) {
        const double dx = std::min(x, width_ - x) / o.sigmaX;
        kernel_[y * width_ + x] = std::exp(-0.5 * (dx * dx + dy * dy));
      }
    }
  }

  size_t cells() const { return size_t{width_} * height_; }
  bool isSet(size_t i) const { return set_[i] != 0; }

  void toggle(size_t i) {
    const double sign = set_[i] ? -1.0 : 1.0;
    set_[i] = !set_[i];
    const uint32_t px = static_cast<uint32_t>(i % width_), py = static_cast<uint32_t>(i / width_);
    for (uint32_t y = 0; y < height_; ++y) {
      const double* row = &kernel_[((y + height_ - py) % height_) * width_];
      double* out = &energy_[size_t{y} * width_];
      for (uint32_t x = 0; x < width_; ++x) out[x] += sign * row[(x + width_ - px) & (width_ - 1)];
    }
  }

  // The set cell of highest energy (tightest cluster); the first on ties.
  size_t tightestCluster() const { return extreme(true); }
  // The clear cell of lowest energy (largest void); the first on ties.
  size_t largestVoid() const { return extreme(false); }

 private:
  size_t extreme(bool ofSet) const {
    size_t best = cells();
    for (size_t i = 0; i < cells(); ++i) {
      if (isSet(i) != ofSet) continue;
      if (best == cells() || (ofSet ? energy_[i] > energy_[best] : energy_[i] < energy_[best])) {
        best = i;
      }
    }
    return best;
  }

  uint32_t width_, height_;
  std::vector<double> kernel_;
  std::vector<double> energy_;
  std::vector<uint8_t> set_;
};

void checkOptions(const VoidAndClusterOptions& o) {
  const bool powerOfTwo = o.width != 0 && (o.width & (o.width - 1)) == 0;
  if (!powerOfTwo || o.width > 256) {
    throw std::invalid_argument("matrix width must be a power of two up to 256");
  }
  if (o.height == 0 || o.height > 256)
    throw std::invalid_argument("matrix height must be 1 to 256");
  if (uint64_t{o.width} * o.height > kMaxGeneratedCells) {
    throw std::invalid_argument("a generated matrix has at most " +
                                std::to_string(kMaxGeneratedCells) + " cells");
  }
  const auto usableSpread = [](double s) { return s > 0 && std::isfinite(s); };
  if (!usableSpread(o.sigmaX) || !usableSpread(o.sigmaY))
    throw std::invalid_argument("filter spread must be a positive finite number");
}

// A random start of about a tenth of the cells, then swaps of the tightest
// cluster into the largest void until the pattern is stable.
Field initialPattern(const VoidAndClusterOptions& o, size_t& ones) {
  Field field(o);
  Xorshift random(o.seed);
  ones = std::max<size_t>(1, field.cells() / 10);
  for (size_t placed = 0; placed < ones;) {
    const size_t i = random.next() % field.cells();
    if (!field.isSet(i)) {
      field.toggle(i);
      ++placed;
    }
  }
  for (size_t guard = 0; guard < 4 * field.cells(); ++guard) {
    const size_t cluster = field.tightestCluster();
    field.toggle(cluster);
    const size_t gap = field.largestVoid();
    field.toggle(gap);
    if (gap == cluster) break;
  }
  return field;
}

}  // namespace

ThresholdMatrix voidAndCluster(const VoidAndClusterOptions& o) {
  checkOptions(o);
  size_t ones = 0;
  const Field start = initialPattern(o, ones);
  std::vector<uint16_t> rank(start.cells());

  // Ranks below the start: take away the tightest clusters one by one.
  Field shrinking = start;
  for (size_t r = ones; r-- > 0;) {
    const size_t i = shrinking.tightestCluster();
    shrinking.toggle(i);
    rank[i] = static_cast<uint16_t>(r);
  }
  // Ranks from the start upwards: fill the largest voids one by one.
  Field growing = start;
  for (size_t r = ones; r < growing.cells(); ++r) {
    const size_t i = growing.largestVoid();
    growing.toggle(i);
    rank[i] = static_cast<uint16_t>(r);
  }
  return ThresholdMatrix{o.width, o.height, std::move(rank), 2};
}

}  // namespace kestrl::pack
