#include "kestrl/colour_choice.h"

#include <ostream>

#include "kestrl/built_in_pack.h"
#include "kestrl/render.h"
#include "pack/default_pack.h"

namespace kestrl::tool {

namespace {
// Grid points of a table built for a user's profile: as the default pack's.
uint32_t defaultPoints() {
  return pack::defaultSeparation().points;
}
}  // namespace

bool Printer::builtInTables() const {
  return !userProfile && model->intent() == colour::Intent::kPerceptual;
}

std::string Printer::describe() const {
  return model->describe();
}

int openPrinter(const ColourChoice& choice, Printer& printer, std::ostream& err) {
  colour::Intent intent{};
  if (!colour::parseIntent(choice.intent, intent)) {
    err << "kestrl: --intent '" << choice.intent
        << "' is not perceptual, relative, saturation or absolute\n";
    return kExitUsage;
  }
  if (choice.proof != "on" && choice.proof != "off") {
    err << "kestrl: --proof '" << choice.proof << "' is not on or off\n";
    return kExitUsage;
  }
  std::string error;
  printer.profile = choice.profilePath.empty()
                        ? colour::Profile::builtIn()
                        : colour::Profile::fromFile(choice.profilePath, error);
  if (!printer.profile) {
    err << "kestrl: --profile " << error << "\n";
    return kExitBadInput;
  }
  try {
    printer.model = std::make_unique<colour::PrinterModel>(*printer.profile, intent);
  } catch (const std::exception& e) {
    err << "kestrl: --profile " << (choice.profilePath.empty() ? "built-in" : choice.profilePath)
        << ": " << e.what() << "\n";
    return kExitBadInput;
  }
  printer.proof = choice.proof == "on";
  printer.userProfile = !choice.profilePath.empty();
  return kExitOk;
}

pack::Pack defaultPackFor(const Printer& printer) {
  if (printer.builtInTables()) return builtInPack();
  return pack::makeDefaultPack(printer.model->separation(defaultPoints()));
}

}  // namespace kestrl::tool
