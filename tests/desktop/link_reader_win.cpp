#include "tests/desktop/link_reader_win.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <stdexcept>

#include "base/handle_win.h"

namespace sondrel::test {

LinkContents ReadShellLink(const std::string& link_path) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IShellLinkA* raw = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              reinterpret_cast<void**>(&raw))))
    throw std::runtime_error("no shell link object");
  ComPtr<IShellLinkA> link(raw);
  IPersistFile* raw_file = nullptr;
  if (FAILED(link.get()->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&raw_file))))
    throw std::runtime_error("no IPersistFile");
  ComPtr<IPersistFile> file(raw_file);
  wchar_t wide[MAX_PATH] = {};
  MultiByteToWideChar(CP_ACP, 0, link_path.c_str(), -1, wide, MAX_PATH);
  if (FAILED(file.get()->Load(wide, STGM_READ))) throw std::runtime_error("cannot load " + link_path);
  char buf[MAX_PATH] = {};
  LinkContents c;
  link.get()->GetPath(buf, MAX_PATH, nullptr, SLGP_RAWPATH);
  c.target = buf;
  buf[0] = '\0';
  link.get()->GetWorkingDirectory(buf, MAX_PATH);
  c.working_folder = buf;
  buf[0] = '\0';
  link.get()->GetArguments(buf, MAX_PATH);
  c.arguments = buf;
  return c;
}

}  // namespace sondrel::test
