#include <windows.h>

#include <vector>

#include "base/exception.h"
#include "model/profile.h"

namespace sondrel {
namespace {

// The system's reader gives the default for a missing key; a default no settings file can hold tells
// a missing key from an empty one.
constexpr char kMissing[] = "\x01\x02missing\x02\x01";

class TPrivateProfile : public TProfile {
 public:
  explicit TPrivateProfile(std::string path) : path_(std::move(path)) {}

  std::optional<std::string> ReadString(std::string_view section, std::string_view key) const override {
    const std::string s(section), k(key);
    // The reader cuts long values to the buffer; grow until the value fits.
    for (DWORD size = 2048;; size *= 2) {
      std::vector<char> buf(size);
      DWORD n = GetPrivateProfileStringA(s.c_str(), k.c_str(), kMissing, buf.data(), size, path_.c_str());
      if (n + 1 < size || size >= (1u << 24)) {
        std::string value(buf.data(), n);
        if (value == kMissing) return std::nullopt;
        return value;
      }
    }
  }

  void WriteString(std::string_view section, std::string_view key, std::string_view value) override {
    const std::string s(section), k(key), v(value);
    if (!WritePrivateProfileStringA(s.c_str(), k.c_str(), v.c_str(), path_.c_str())) RaiseLastOSError();
    // Systems that cache profile files write them out only on this call.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path_.c_str());
  }

 private:
  std::string path_;
};

}  // namespace

std::unique_ptr<TProfile> OpenSettingsProfile(const std::string& path) {
  return std::make_unique<TPrivateProfile>(path);
}

}  // namespace sondrel
