#include "colour/calibration.h"

namespace kestrl::colour {

// No calibration state exists until the calibration stages are built.
void releaseCalibration(CmContext& context) { context.calibration = nullptr; }

}  // namespace kestrl::colour
