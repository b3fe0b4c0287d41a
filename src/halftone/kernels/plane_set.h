// The diffused planes of a colour run, each rule written once: the one-bit
// colour engines, the four-level colour engines and the diffused plane of
// the colour screening all keep their error-diffused planes here.
//
// A plane walks its error line from the run's first pixel on. At each pixel
// it either settles (white pixels and idle planes: the cell takes the carry
// or 0, nothing is spread) or reads the error that reached the pixel, lets
// the engine decide the dot, and spreads what remains by a row of its
// pattern family, the row chosen from the table prepared at setup. The carry
// holds the next line's share for the cell right of the pixel; the activity
// register says whether the plane has had ink lately.
#pragma once

#include <array>
#include <cstdint>

#include "halftone/kernels/colour_diffusion.h"
#include "halftone/kernels/colour_tables.h"
#include "halftone/kernels/error_line.h"
#include "halftone/kernels/spread_kernels.h"

namespace kestrl::halftone::diffusion {

// What a white pixel or an idle plane does with the carry.
enum class CarryAtCell : uint8_t {
  kStore,        // the cell of x becomes the carry, the carry 0
  kDrop,         // the cell of x and the carry become 0
  kKeepPending,  // the cell of x becomes 0; the carry waits for the next active pixel
};

template <const KernelTable& kPatterns>
class DiffusedPlane {
 public:
  explicit DiffusedPlane(int16_t* cellOfFirstPixel) : cell_(cellOfFirstPixel) {}

  // Records the pixel's ink (a level or a small-dot share); true while the
  // plane is active.
  bool record(uint32_t ink) { return activity_.record(ink); }

  // The error that has reached the pixel, in whole levels.
  template <CellRead read>
  int32_t error() const {
    return readCell<read>(*cell_);
  }

  // A pixel that spreads nothing.
  void settle(CarryAtCell rule) {
    *cell_++ = rule == CarryAtCell::kStore ? carry_ : int16_t{0};
    if (rule != CarryAtCell::kKeepPending) carry_ = 0;
  }

  // Spreads e by a row of the patterns; the cell of x becomes the carry plus
  // its own share, the carry the share of the next line's cell x + 1.
  void spread(uint32_t row, Parity parity, int32_t e) {
    carry_ = diffusion::spread<kPatterns>(row, parity, cell_++, e, carry_);
  }

 private:
  int16_t* cell_;
  int16_t carry_ = 0;
  ActivityRegister activity_;
};

// The row of the prepared pattern choice for a plane class, matrix parity,
// dot and level (or the level whose shares decide, in the four-level engines).
inline uint32_t patternRow(const ColourDiffusionTables& t, PlaneClass plane, uint32_t parity,
                           bool dot, uint32_t level) {
  return t.pattern[ColourDiffusionTables::patternIndex(plane, parity, dot, level)];
}

}  // namespace kestrl::halftone::diffusion
