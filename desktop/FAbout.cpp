#include "desktop/FAbout.h"

#include "desktop/web_links.h"
#include "launch/browser_win.h"

namespace sondrel {

TfrmAbout::TfrmAbout(const TAboutDesign& design) : TForm(design.caption, kClientWidth, kClientHeight, false) {
  Image1 = Add<TIconImage>(Handle(), 12, 12, 30, 29);
  lblProductName = Add<TLabel>(Handle(), design.product_name, 56, 12, 292, 16);
  lblProductName->SetBold(true);
  lblProductVersion = Add<TLabel>(Handle(), design.product_version, 56, 32, 292, 16);
  lblCopyright = Add<TLabel>(Handle(), design.copyright, 56, 52, 292, 16);
  lblWebsite = Add<TLinkLabel>(Handle(), design.website, 56, 72, 292, 16);
  lblWebsite->OnClick = [this] { lblWebsiteClick(); };
  lblWebsite->OnDblClick = [this] { lblWebsiteDblClick(); };
  editAbout = Add<TButton>(Handle(), "Ok", (kClientWidth - 72) / 2, 100, 72, 22);
  editAbout->OnClick = [this] { editAboutClick(); };
  SetDefaultControl(editAbout);
  SetCancelControl(editAbout);
  ActiveControl = editAbout;
  FormCreate();
}

void TfrmAbout::FormCreate() {
  SetCaption(kAboutCaption);
  lblProductName->SetCaption(kAboutProductName);
  lblCopyright->SetCaption(kAboutCopyright);
  lblProductVersion->SetCaption(kAboutProductVersion);
  lblWebsite->SetCaption(kMakerSite);
}

void TfrmAbout::editAboutClick() { ModalResult = mrOk; }

// Whether a browser really opened is not examined; with none registered nothing happens.
void TfrmAbout::lblWebsiteClick() { OpenInDefaultBrowser(kMakerSite); }
void TfrmAbout::lblWebsiteDblClick() { OpenInDefaultBrowser(kMakerSite); }

}  // namespace sondrel
