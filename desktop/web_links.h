#pragma once
// The maker's web site, shown and opened by the About box.
namespace sondrel {

inline constexpr char kMakerSite[] = "https://www.example.com/";

}  // namespace sondrel
