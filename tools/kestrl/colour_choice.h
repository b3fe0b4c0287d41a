// The printer a job is printed for: the built-in default printer profile or
// the user's (--profile), the rendering intent (--intent), and whether the
// preview is a soft proof through it (--proof).
#pragma once

#include <iosfwd>
#include <memory>
#include <string>

#include "colour/printer_model.h"
#include "pack/pack_io.h"

namespace kestrl::tool {

struct ColourChoice {
  std::string profilePath;  // empty: the built-in printer profile
  std::string intent = "perceptual";
  std::string proof = "on";
};

struct Printer {
  std::unique_ptr<colour::Profile> profile;
  std::unique_ptr<colour::PrinterModel> model;
  bool proof = true;
  bool userProfile = false;
  // Whether the built-in pack's colour tables fit (built-in profile, perceptual).
  bool builtInTables() const;
  // "PROFILE NAME (ICC v4.3, relative intent)"
  std::string describe() const;
};

// Opens the profile; on failure one line on `err` and an ExitCode.
int openPrinter(const ColourChoice& choice, Printer& printer, std::ostream& err);

// The default pack with colour tables for the printer: the built-in pack
// itself, or one whose tables are separated through the printer's profile
// and intent.
pack::Pack defaultPackFor(const Printer& printer);

}  // namespace kestrl::tool
