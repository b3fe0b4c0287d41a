// Paper sizes and lengths as the command line and the system name them.
#pragma once

#include <string>

namespace kestrl::tool {

inline constexpr double kMillimetresPerInch = 25.4;

struct Paper {
  std::string name;  // "A4", "Letter", or "210x297mm" as given
  double widthInches = 0, heightInches = 0;
};

// A length with its unit, "6mm" or "0.25in", 0 to 1000 inches; false for
// anything else.
bool parseLength(const std::string& text, double& inches);

// A paper the system knows by name (A4, Letter, Legal, A3, ...: libpaper's
// list, any case) or "WxH" with a unit, "210x297mm" or "8.5x11in". False,
// with the reason in `error`, for anything else.
bool parsePaper(const std::string& text, Paper& paper, std::string& error);

// The system's paper as libpaper reports it (PAPERSIZE, then the paper
// configuration file, then /etc/papersize); a size given there as WxH is
// read like --paper.
bool systemPaper(Paper& paper, std::string& error);

}  // namespace kestrl::tool
