// A printer's ICC output profile (CMYK) and the rendering intent a job
// uses it with, opened through Little CMS.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace kestrl::colour {

enum class Intent { kPerceptual, kRelative, kSaturation, kAbsolute };

// "perceptual", "relative", "saturation" or "absolute"; false for anything else.
bool parseIntent(const std::string& text, Intent& intent);
const char* intentName(Intent intent);

// The default printer's profile, made from measured print data (see
// docs/kestrl.md) and embedded in the build.
std::span<const uint8_t> builtInProfileBytes();

class Profile {
 public:
  // The built-in default printer profile.
  static std::unique_ptr<Profile> builtIn();
  // A CMYK output profile from a file or memory; null with a one-line reason
  // when the bytes are no ICC profile, not a CMYK output profile, or one
  // Little CMS cannot transform with.
  static std::unique_ptr<Profile> fromFile(const std::string& path, std::string& error);
  static std::unique_ptr<Profile> fromMemory(std::span<const uint8_t> bytes,
                                             const std::string& label, std::string& error);

  Profile(const Profile&) = delete;
  Profile& operator=(const Profile&) = delete;
  ~Profile();

  // The profile's description, or the file name it came from.
  const std::string& name() const { return name_; }
  // Major and minor ICC version, e.g. "2.4" or "4.3".
  std::string version() const;
  void* handle() const { return handle_; }

 private:
  Profile(void* handle, std::string name) : handle_(handle), name_(std::move(name)) {}
  void* handle_;
  std::string name_;
};

}  // namespace kestrl::colour
