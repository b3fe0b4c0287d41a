// The calibration sequence that may follow the colour table stage.
#pragma once

#include "colour/cm_context.h"

namespace kestrl::colour {

// Releases the calibration state of a sequence that did not run to its end.
void releaseCalibration(CmContext& context);

}  // namespace kestrl::colour
