#include "kestrl/paper.h"

#include <paper.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <memory>

namespace kestrl::tool {

namespace {

constexpr double kPointsPerInch = 72;
constexpr double kMaxInches = 1000;

// "12.5" followed by "mm" or "in": the number in inches.
bool parseNumberWithUnit(const std::string& text, double& inches) {
  const auto unitAt = text.find_first_not_of("0123456789.");
  if (unitAt == 0 || unitAt == std::string::npos) return false;
  const std::string number = text.substr(0, unitAt), unit = text.substr(unitAt);
  if (number.find('.') != number.rfind('.')) return false;
  double value = std::strtod(number.c_str(), nullptr);
  if (unit == "mm") {
    value /= kMillimetresPerInch;
  } else if (unit != "in") {
    return false;
  }
  if (!std::isfinite(value) || value > kMaxInches) return false;
  inches = value;
  return true;
}

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// libpaper's name with its usual capitals: "a4" -> "A4", "letter" -> "Letter".
std::string displayName(const char* name) {
  std::string shown = name;
  if (!shown.empty())
    shown[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(shown[0])));
  return shown;
}

// libpaper's table, read between paperinit and paperdone.
bool namedPaper(const std::string& name, Paper& paper) {
  paperinit();
  const struct paper* found = paperinfo(lower(name).c_str());
  if (found) {
    paper = {displayName(papername(found)), paperpswidth(found) / kPointsPerInch,
             paperpsheight(found) / kPointsPerInch};
  }
  paperdone();
  return found != nullptr;
}

}  // namespace

bool parseLength(const std::string& text, double& inches) {
  return parseNumberWithUnit(text, inches);
}

bool parsePaper(const std::string& text, Paper& paper, std::string& error) {
  if (namedPaper(text, paper)) return true;
  const auto cross = text.find_first_of("xX");
  if (cross != std::string::npos) {
    const std::string unit = text.size() > 2 ? text.substr(text.size() - 2) : "";
    double w = 0, h = 0;
    if (parseNumberWithUnit(text.substr(0, cross) + unit, w) &&
        parseNumberWithUnit(text.substr(cross + 1), h) && w > 0 && h > 0) {
      paper = {text, w, h};
      return true;
    }
  }
  error = "paper '" + text.substr(0, 40) +
          "' is neither a paper name (A4, Letter, Legal, A3, ...) nor WxH in mm or in, e.g. "
          "210x297mm or 8.5x11in";
  return false;
}

bool systemPaper(Paper& paper, std::string& error) {
  paperinit();
  const std::unique_ptr<char, decltype(&std::free)> name(systempapername(), std::free);
  paperdone();
  if (!name) {
    error = "the system names no paper (set PAPERSIZE or /etc/papersize, or give --paper)";
    return false;
  }
  if (parsePaper(name.get(), paper, error)) return true;
  error = "the system's " + error + " (set PAPERSIZE or give --paper)";
  return false;
}

}  // namespace kestrl::tool
