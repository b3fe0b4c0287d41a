#include "halftone/engines/colour_screen_run.h"

namespace kestrl::halftone {

void prepareColourScreen(EngineTables& tables) {
  diffusion::splitGridIndex(tables.gridIndex.data(), tables.colourDiffusion.axis);
}

void prepareFourLevelColour(EngineTables& tables) {
  prepareColourScreen(tables);
  prepareDitherFourLevel(tables);
}

}  // namespace kestrl::halftone
