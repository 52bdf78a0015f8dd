#include "tests/dialogs/shell_windows_double_win.h"

#include <atomic>

namespace sondrel::test {
namespace {

std::atomic<int> g_live{0};

// Reference counting for both fakes; a fake is deleted with its last reference.
class Counted {
 public:
  Counted() { ++g_live; }
  virtual ~Counted() { --g_live; }
  ULONG AddRefImpl() { return ++refs_; }
  ULONG ReleaseImpl() {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 private:
  std::atomic<ULONG> refs_{1};
};

#define FAKE_DISPATCH_METHODS                                                                            \
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override {                                           \
    return E_NOTIMPL;                                                                                    \
  }                                                                                                      \
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override {                              \
    return E_NOTIMPL;                                                                                    \
  }                                                                                                      \
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {             \
    return E_NOTIMPL;                                                                                    \
  }                                                                                                      \
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) \
      override {                                                                                         \
    return E_NOTIMPL;                                                                                    \
  }                                                                                                      \
  ULONG STDMETHODCALLTYPE AddRef() override {                                                            \
    return AddRefImpl();                                                                                 \
  }                                                                                                      \
  ULONG STDMETHODCALLTYPE Release() override {                                                           \
    return ReleaseImpl();                                                                                \
  }

// Members of the interfaces the import never calls.
#define NOT_USED(name, ...)                              \
  HRESULT STDMETHODCALLTYPE name(__VA_ARGS__) override { \
    return E_NOTIMPL;                                    \
  }

class FakeBrowser final : public IWebBrowser2, public Counted {
 public:
  explicit FakeBrowser(FakeWindow w) : w_(std::move(w)) {}
  FAKE_DISPATCH_METHODS
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = nullptr;
    const bool browser = IsEqualIID(iid, IID_IWebBrowser2) || IsEqualIID(iid, IID_IWebBrowserApp) ||
                         IsEqualIID(iid, IID_IWebBrowser);
    if (browser && !w_.is_browser) return E_NOINTERFACE;
    if (!browser && !IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDispatch)) return E_NOINTERFACE;
    AddRef();
    *out = static_cast<IWebBrowser2*>(this);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_LocationURL(BSTR* url) override {
    *url = nullptr;
    if (FAILED(w_.url_result)) return w_.url_result;
    *url = w_.url.empty() ? nullptr : SysAllocString(w_.url.c_str());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Document(IDispatch** document) override {
    *document = nullptr;
    if (FAILED(w_.document_result)) return w_.document_result;
    // Any live dispatch object serves as the loaded document: a second fake, released by the caller.
    if (w_.has_document) *document = new FakeBrowser(FakeWindow{});
    return S_OK;
  }

  NOT_USED(GoBack)
  NOT_USED(GoForward) NOT_USED(GoHome) NOT_USED(GoSearch) NOT_USED(
      Navigate, BSTR, VARIANT*, VARIANT*, VARIANT*, VARIANT*) NOT_USED(Refresh) NOT_USED(Refresh2, VARIANT*)
      NOT_USED(Stop) NOT_USED(get_Application, IDispatch**) NOT_USED(get_Parent, IDispatch**) NOT_USED(
          get_Container, IDispatch**) NOT_USED(get_TopLevelContainer, VARIANT_BOOL*) NOT_USED(get_Type, BSTR*)
          NOT_USED(get_Left, LONG*) NOT_USED(put_Left, LONG) NOT_USED(get_Top, LONG*) NOT_USED(
              put_Top, LONG) NOT_USED(get_Width, LONG*) NOT_USED(put_Width, LONG) NOT_USED(get_Height, LONG*)
              NOT_USED(put_Height, LONG) NOT_USED(get_LocationName, BSTR*) NOT_USED(
                  get_Busy, VARIANT_BOOL*) NOT_USED(Quit) NOT_USED(ClientToWindow, int*, int*)
                  NOT_USED(PutProperty, BSTR, VARIANT) NOT_USED(GetProperty, BSTR, VARIANT*) NOT_USED(
                      get_Name, BSTR*) NOT_USED(get_HWND, SHANDLE_PTR*)
                      NOT_USED(get_FullName, BSTR*) NOT_USED(
                          get_Path, BSTR*) NOT_USED(get_Visible,
                                                    VARIANT_BOOL*) NOT_USED(put_Visible, VARIANT_BOOL)
                          NOT_USED(get_StatusBar, VARIANT_BOOL*) NOT_USED(
                              put_StatusBar,
                              VARIANT_BOOL) NOT_USED(get_StatusText,
                                                     BSTR*) NOT_USED(put_StatusText,
                                                                     BSTR) NOT_USED(get_ToolBar, int*)
                              NOT_USED(put_ToolBar, int) NOT_USED(get_MenuBar, VARIANT_BOOL*) NOT_USED(
                                  put_MenuBar,
                                  VARIANT_BOOL) NOT_USED(get_FullScreen,
                                                         VARIANT_BOOL*) NOT_USED(put_FullScreen, VARIANT_BOOL)
                                  NOT_USED(Navigate2, VARIANT*, VARIANT*, VARIANT*, VARIANT*,
                                           VARIANT*) NOT_USED(QueryStatusWB, OLECMDID, OLECMDF*)
                                      NOT_USED(ExecWB, OLECMDID, OLECMDEXECOPT, VARIANT*, VARIANT*)
                                          NOT_USED(ShowBrowserBar, VARIANT*, VARIANT*,
                                                   VARIANT*) NOT_USED(get_ReadyState, READYSTATE*)
                                              NOT_USED(get_Offline, VARIANT_BOOL*) NOT_USED(put_Offline,
                                                                                            VARIANT_BOOL)
                                                  NOT_USED(get_Silent,
                                                           VARIANT_BOOL*) NOT_USED(put_Silent, VARIANT_BOOL)
                                                      NOT_USED(get_RegisterAsBrowser, VARIANT_BOOL*) NOT_USED(
                                                          put_RegisterAsBrowser, VARIANT_BOOL)
                                                          NOT_USED(get_RegisterAsDropTarget, VARIANT_BOOL*)
                                                              NOT_USED(put_RegisterAsDropTarget, VARIANT_BOOL)
                                                                  NOT_USED(get_TheaterMode, VARIANT_BOOL*)
                                                                      NOT_USED(put_TheaterMode, VARIANT_BOOL)
                                                                          NOT_USED(get_AddressBar,
                                                                                   VARIANT_BOOL*)
                                                                              NOT_USED(put_AddressBar,
                                                                                       VARIANT_BOOL)
                                                                                  NOT_USED(get_Resizable,
                                                                                           VARIANT_BOOL*)
                                                                                      NOT_USED(put_Resizable,
                                                                                               VARIANT_BOOL)

                                                                                          private
      : FakeWindow w_;
};

class FakeShellWindows final : public IShellWindows, public Counted {
 public:
  explicit FakeShellWindows(FakeShellWindowsSetup s) : s_(std::move(s)) {}
  FAKE_DISPATCH_METHODS
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDispatch) &&
        !IsEqualIID(iid, IID_IShellWindows))
      return E_NOINTERFACE;
    AddRef();
    *out = static_cast<IShellWindows*>(this);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override {
    *count = 0;
    if (FAILED(s_.count_result)) return s_.count_result;
    *count = static_cast<LONG>(s_.windows.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Item(VARIANT index, IDispatch** item) override {
    *item = nullptr;
    // The collection takes the index as a 32-bit integer variant.
    if (index.vt != VT_I4 || index.lVal < 0 || static_cast<size_t>(index.lVal) >= s_.windows.size())
      return S_FALSE;
    const FakeWindow& w = s_.windows[static_cast<size_t>(index.lVal)];
    if (FAILED(w.item_result)) return w.item_result;
    if (!w.empty_item) *item = new FakeBrowser(w);
    return S_OK;
  }

  NOT_USED(_NewEnum, IUnknown**)
  NOT_USED(Register, IDispatch*, LONG, int, LONG*)
      NOT_USED(RegisterPending, LONG, VARIANT*, VARIANT*, int, LONG*) NOT_USED(Revoke, LONG)
          NOT_USED(OnNavigate, LONG, VARIANT*) NOT_USED(OnActivated, LONG, VARIANT_BOOL)
              NOT_USED(FindWindowSW, VARIANT*, VARIANT*, int, LONG*, int, IDispatch**)
                  NOT_USED(OnCreated, LONG, IUnknown*) NOT_USED(ProcessAttachDetach, VARIANT_BOOL)

                      private : FakeShellWindowsSetup s_;
};

}  // namespace

ComPtr<IShellWindows> MakeFakeShellWindows(const FakeShellWindowsSetup& setup) {
  return ComPtr<IShellWindows>(new FakeShellWindows(setup));
}

int LiveFakeObjects() {
  return g_live;
}

}  // namespace sondrel::test
