#include "model/profile.h"

namespace sondrel {

std::unique_ptr<TProfile> OpenSettingsProfile(const std::string& path) {
  return std::make_unique<TIniProfile>(path);
}

}  // namespace sondrel
