#pragma once
// The two controls of the About box the framework has no kind for: a web link label and the
// product's small picture, drawn from the program's icon over whatever lies behind it.
#include <functional>
#include <string>

#include "base/handle_win.h"
#include "skin/forms_win.h"

namespace sondrel {

// A label that reads as a link: green, underlined, with the hand cursor. A click and a double-click
// are separate events (a double-click brings its first click as well, as the system sends them).
class TLinkLabel : public TControl {
 public:
  TLinkLabel(TForm& form, HWND parent, const std::string& caption, int left, int top, int width, int height);
  std::function<void()> OnClick;
  std::function<void()> OnDblClick;

  void OnCommand(WORD code) override;
  HBRUSH OnCtlColor(HDC dc) override;

 protected:
  LRESULT WndProc(UINT m, WPARAM w, LPARAM l) override;

 private:
  UniqueGdiObject font_;
};

// A picture of the program's icon (resource 1), scaled to the control; transparent where the icon is.
class TIconImage : public TControl {
 public:
  TIconImage(TForm& form, HWND parent, int left, int top, int width, int height);
  ~TIconImage() override;
  // False when the program carries no icon (a program without the resources): nothing is drawn then.
  bool HasPicture() const { return icon_ != nullptr; }

  bool OnDrawItem(DRAWITEMSTRUCT* dis) override;

 private:
  HICON icon_ = nullptr;
};

}  // namespace sondrel
