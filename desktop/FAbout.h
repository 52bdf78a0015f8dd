#pragma once
// The About box: the product's name, version, a notice of rights and a link to the maker's web site.
// Created per use, shown modally and destroyed.
#include <string>

#include "desktop/about_controls_win.h"
#include "skin/controls_win.h"

namespace sondrel {

// The texts the controls carry before the box fills them in (what a form designer left on them).
struct TAboutDesign {
  std::string caption = "About";
  std::string product_name = "Product Name";
  std::string product_version = "Version";
  std::string copyright = "Copyright";
  std::string website = "Web site";
};

inline constexpr char kAboutCaption[] = "About Sondrel";
inline constexpr char kAboutProductName[] = "Sondrel";
inline constexpr char kAboutProductVersion[] = "Product Version: 2.0";
inline constexpr char kAboutCopyright[] = "Copyright (C) 2026 Korvanta. All rights reserved.";

class TfrmAbout : public TForm {
 public:
  explicit TfrmAbout(const TAboutDesign& design = {});
  static constexpr int kClientWidth = 360;
  static constexpr int kClientHeight = 132;

  TIconImage* Image1 = nullptr;
  TLabel* lblProductName = nullptr;
  TLabel* lblProductVersion = nullptr;
  TLabel* lblCopyright = nullptr;
  TLinkLabel* lblWebsite = nullptr;
  TButton* editAbout = nullptr;

  // Sets the caption and the texts over the design-time ones.
  void FormCreate() override;

 private:
  void editAboutClick();
  void lblWebsiteClick();
  void lblWebsiteDblClick();
};

}  // namespace sondrel
