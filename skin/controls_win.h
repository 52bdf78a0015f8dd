#pragma once
// The skinned controls. Each is a real child window of a standard class (BUTTON, STATIC, EDIT,
// COMBOBOX, LISTBOX, SysTabControl32), so its caption is its window text and its state answers the
// standard messages (BM_GETCHECK, CB_GETCOUNT, CB_GETLBTEXT, LB_GETTEXT, TCM_GETCURSEL); the skin
// comes from owner drawing or from painting over the control's own WM_PAINT.
#include <functional>
#include <string>
#include <vector>

#include "skin/forms_win.h"

namespace sondrel {

// A push button, drawn by the skin. Enter presses the form's default button.
class TButton : public TControl {
 public:
  TButton(TForm& form, HWND parent, const std::string& caption, int left, int top, int width, int height);
  std::function<void()> OnClick;

  bool IsPushButton() const override { return true; }
  void OnCommand(WORD code) override;
  bool OnDrawItem(DRAWITEMSTRUCT* dis) override;

 protected:
  LRESULT WndProc(UINT m, WPARAM w, LPARAM l) override;

 private:
  TForm& form_;
  bool hot_ = false;
};

// A check box. OnClick runs whenever the ticked state changes: by a click, the space bar, SetChecked
// or a BM_SETCHECK from outside. The caption can be drawn bold.
class TCheckBox : public TControl {
 public:
  TCheckBox(TForm& form, HWND parent, const std::string& caption, int left, int top, int width, int height);
  bool Checked() const;
  // Sets the ticked state; runs OnClick when it changed, and lets its exceptions reach the caller.
  void SetChecked(bool on);
  bool Bold() const { return bold_; }
  void SetBold(bool on);
  std::function<void()> OnClick;

  void OnCommand(WORD code) override;

 protected:
  LRESULT WndProc(UINT m, WPARAM w, LPARAM l) override;

 private:
  void Paint(HDC dc);
  void Repaint();
  void NoticeState();

  bool last_checked_ = false;
  bool setting_ = false;
  bool bold_ = false;
  bool hot_ = false;
};

// A text label; several lines wrap at its width.
class TLabel : public TControl {
 public:
  TLabel(TForm& form, HWND parent, const std::string& caption, int left, int top, int width, int height);
  void SetBold(bool on);
};

// A one-line edit box with an optional maximum length.
class TEdit : public TControl {
 public:
  TEdit(TForm& form, HWND parent, int left, int top, int width, int height);
  std::string Text() const { return Caption(); }
  void SetText(const std::string& text) { SetCaption(text); }
  // 0 lets the text be as long as the control allows.
  void SetMaxLength(int n);
  std::function<void()> OnChange;

  void OnCommand(WORD code) override;
  HBRUSH OnCtlColor(HDC dc) override;

 protected:
  LRESULT WndProc(UINT m, WPARAM w, LPARAM l) override;
};

// What drop-down boxes and list boxes share: a list of text rows with one selected row.
class TItemsControl : public TControl {
 public:
  void Clear();
  void Add(const std::string& item);
  void SetItems(const std::vector<std::string>& items);
  int Count() const;
  std::string Item(int index) const;
  std::vector<std::string> Items() const;
  // The selected row, or -1.
  int ItemIndex() const;
  void SetItemIndex(int index);
  std::function<void()> OnChange;  // the user chose another row

  HBRUSH OnCtlColor(HDC dc) override;

  // The message numbers of one kind of list control.
  struct Messages {
    UINT add, reset, count, get_text, get_text_len, get_sel, set_sel;
  };

 protected:
  explicit TItemsControl(const Messages& m) : msg_(m) {}

 private:
  const Messages& msg_;
};

// A drop-down list (fixed choices) or an editable drop-down box.
class TComboBox : public TItemsControl {
 public:
  TComboBox(TForm& form, HWND parent, bool editable, int left, int top, int width, int rows_shown);
  std::string Text() const { return Caption(); }
  void SetText(const std::string& text);
  void OnCommand(WORD code) override;
};

// A list box with one selected row and a scroll bar when the rows do not fit.
class TListBox : public TItemsControl {
 public:
  TListBox(TForm& form, HWND parent, int left, int top, int width, int height);
  std::function<void()> OnDblClick;
  void OnCommand(WORD code) override;
  bool OnDrawItem(DRAWITEMSTRUCT* dis) override;
};

// A plain container window (notebook pages); its controls work as if they sat on the form.
class TPanel : public TControl {
 public:
  TPanel(TForm& form, HWND parent, const std::string& caption, int left, int top, int width, int height);
};

// A tab strip with tabs of one fixed width. OnChange runs when the user selects a tab (also through
// TCM_SETCURFOCUS), not when the program sets TabIndex.
class TTabControl : public TControl {
 public:
  TTabControl(TForm& form, HWND parent, const std::vector<std::string>& tabs, int tab_width, int left, int top,
               int width, int height);
  int TabCount() const;
  std::string TabCaption(int index) const;
  void SetTabCaption(int index, const std::string& text);
  int TabIndex() const;
  void SetTabIndex(int index);
  // The area under the tabs, in the parent's coordinates.
  RECT PageRect() const;
  std::function<void()> OnChange;

  LRESULT OnNotify(NMHDR* hdr) override;

 protected:
  LRESULT WndProc(UINT m, WPARAM w, LPARAM l) override;

 private:
  void Paint(HDC dc);
};

// Pages on top of each other; one shows at a time.
class TNotebook : public TControl {
 public:
  TNotebook(TForm& form, HWND parent, const std::vector<std::string>& pages, const RECT& r);
  TPanel* Page(int index) const { return pages_.at(static_cast<size_t>(index)); }
  int PageCount() const { return static_cast<int>(pages_.size()); }
  int PageIndex() const { return page_index_; }
  void SetPageIndex(int index);

 private:
  std::vector<TPanel*> pages_;
  int page_index_ = 0;
};

}  // namespace sondrel
