#include "tests/support/listview_win.h"

#include <commctrl.h>

#include <algorithm>
#include <stdexcept>

namespace sondrel::test {
namespace {

// A buffer in the control's process: the structure at its start, text after it.
class RemoteBuffer {
 public:
  static constexpr size_t kSize = 4096;
  static constexpr size_t kTextAt = 256;

  explicit RemoteBuffer(HWND control) {
    DWORD pid = 0;
    GetWindowThreadProcessId(control, &pid);
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (process_) remote_ = static_cast<char*>(VirtualAllocEx(process_, nullptr, kSize, MEM_COMMIT, PAGE_READWRITE));
    if (!remote_) throw std::runtime_error("no buffer in the control's process");
  }
  ~RemoteBuffer() {
    VirtualFreeEx(process_, remote_, 0, MEM_RELEASE);
    CloseHandle(process_);
  }
  char* Text() const { return remote_ + kTextAt; }
  LPARAM At() const { return reinterpret_cast<LPARAM>(remote_); }
  template <class T>
  void Put(const T& value) {
    WriteProcessMemory(process_, remote_, &value, sizeof value, nullptr);
  }
  template <class T>
  T Get() {
    T value{};
    ReadProcessMemory(process_, remote_, &value, sizeof value, nullptr);
    return value;
  }
  std::string GetText() {
    std::string s(kSize - kTextAt, '\0');
    ReadProcessMemory(process_, Text(), s.data(), s.size(), nullptr);
    s.resize(std::min(s.find('\0'), s.size()));
    return s;
  }

 private:
  HANDLE process_ = nullptr;
  char* remote_ = nullptr;
};

}  // namespace

std::vector<std::vector<std::string>> ListViewRows(HWND list) {
  RemoteBuffer buf(list);
  const int rows = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
  HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
  const int columns = header ? static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0)) : 1;
  std::vector<std::vector<std::string>> out;
  for (int r = 0; r < rows; ++r) {
    std::vector<std::string> cells;
    for (int c = 0; c < columns; ++c) {
      LVITEMA item{};
      item.iSubItem = c;
      item.pszText = buf.Text();
      item.cchTextMax = RemoteBuffer::kSize - RemoteBuffer::kTextAt;
      buf.Put(item);
      SendMessageA(list, LVM_GETITEMTEXTA, r, buf.At());
      cells.push_back(buf.GetText());
    }
    out.push_back(std::move(cells));
  }
  return out;
}

int ListViewImage(HWND list, int row) {
  RemoteBuffer buf(list);
  LVITEMA item{};
  item.mask = LVIF_IMAGE;
  item.iItem = row;
  buf.Put(item);
  SendMessageA(list, LVM_GETITEMA, 0, buf.At());
  return buf.Get<LVITEMA>().iImage;
}

std::vector<std::string> TabTexts(HWND tabs) {
  RemoteBuffer buf(tabs);
  std::vector<std::string> out;
  const int n = static_cast<int>(SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < n; ++i) {
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = buf.Text();
    item.cchTextMax = 256;
    buf.Put(item);
    SendMessageA(tabs, TCM_GETITEMA, i, buf.At());
    out.push_back(buf.GetText());
  }
  return out;
}

}  // namespace sondrel::test
