#pragma once
// Settings files in the private-profile (INI) form: "[Section]" lines, then "key=value" lines. The
// program reads and writes them one key at a time through TProfile. The Windows build uses the
// system's private-profile functions; TIniProfile is the portable implementation with the same rules
// (names compared without regard to ASCII letter case, blanks around names and values dropped, a value
// in matching quotes read without them, other sections, keys and comment lines kept as they are).
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/text.h"

namespace sondrel {

class TProfile {
 public:
  virtual ~TProfile() = default;
  // The key's value, or nullopt when the file, the section or the key is missing.
  virtual std::optional<std::string> ReadString(std::string_view section, std::string_view key) const = 0;
  // Sets the key, adding the section and key when missing and creating the file when missing.
  // Raises EOSError when the file cannot be written.
  virtual void WriteString(std::string_view section, std::string_view key, std::string_view value) = 0;
};

// Opens the settings file at path through the platform's implementation (the private-profile
// functions on Windows, TIniProfile elsewhere). Opening never fails; a missing file reads as empty.
std::unique_ptr<TProfile> OpenSettingsProfile(const std::string& path);
using ProfileOpener = std::function<std::unique_ptr<TProfile>(const std::string& path)>;

// An integer as the settings store it: decimal with an optional sign, or hexadecimal after "0x" or
// "0X"; nullopt for anything else.
std::optional<int32_t> ParseProfileInteger(std::string_view text);
// The key read as such an integer; def when it is missing or not an integer.
int32_t ReadProfileInteger(const TProfile& profile, std::string_view section, std::string_view key,
                           int32_t def);

// The portable implementation over the file's text. Every write rewrites the whole file in one step.
class TIniProfile : public TProfile {
 public:
  explicit TIniProfile(std::string path);
  std::optional<std::string> ReadString(std::string_view section, std::string_view key) const override;
  void WriteString(std::string_view section, std::string_view key, std::string_view value) override;

  // The same rules over text in memory, for tests and for the file-backed methods above.
  static std::optional<std::string> ReadFrom(std::string_view text, std::string_view section,
                                             std::string_view key);
  static std::string WriteTo(std::string_view text, std::string_view section, std::string_view key,
                             std::string_view value);

 private:
  std::string path_;
};

}  // namespace sondrel
