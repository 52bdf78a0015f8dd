// A mail client's Simple MAPI library for the tests: registered as the default mail client, it appends
// one line per call to the file named by MAPI_STUB_LOG. MAPI_STUB_FAIL=logon refuses the logon,
// =send refuses the message; a name containing "unknown" does not resolve.
#include <windows.h>
#include <mapi.h>

#include <cstdlib>
#include <string>

namespace {

std::string Env(const char* name) {
  char buf[1024] = {};
  const DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
  return n && n < sizeof buf ? std::string(buf, n) : std::string();
}

// Line breaks and backslashes written visibly, so that one call stays one line.
std::string Visible(const char* s) {
  if (!s) return "(null)";
  std::string out;
  for (; *s; ++s) {
    if (*s == '\r') out += "\\r";
    else if (*s == '\n') out += "\\n";
    else out += *s;
  }
  return out;
}

void Record(const std::string& line) {
  const std::string log = Env("MAPI_STUB_LOG");
  if (log.empty()) return;
  HANDLE f = CreateFileA(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  const std::string text = line + "\r\n";
  DWORD written = 0;
  WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(f);
}

constexpr LHANDLE kSession = 0x5E55;

struct Resolved {
  MapiRecipDesc desc;
  char name[128];
  char address[128];
  unsigned char entry[4];
};

}  // namespace

extern "C" __declspec(dllexport) ULONG WINAPI MAPILogon(ULONG_PTR ui, LPSTR profile, LPSTR password, FLAGS flags,
                                                        ULONG, LPLHANDLE session) {
  Record("MAPILogon ui=" + std::to_string(ui) + " profile=" + Visible(profile) + " password=" + Visible(password) +
         " flags=" + std::to_string(flags));
  if (Env("MAPI_STUB_FAIL") == "logon") return MAPI_E_LOGIN_FAILURE;
  *session = kSession;
  return SUCCESS_SUCCESS;
}

extern "C" __declspec(dllexport) ULONG WINAPI MAPILogoff(LHANDLE session, ULONG_PTR ui, FLAGS flags, ULONG) {
  Record("MAPILogoff session=" + std::to_string(session) + " ui=" + std::to_string(ui) + " flags=" +
         std::to_string(flags));
  return SUCCESS_SUCCESS;
}

extern "C" __declspec(dllexport) ULONG WINAPI MAPIResolveName(LHANDLE session, ULONG_PTR ui, LPSTR name, FLAGS flags,
                                                              ULONG, lpMapiRecipDesc* out) {
  Record("MAPIResolveName session=" + std::to_string(session) + " ui=" + std::to_string(ui) + " name=" + Visible(name) +
         " flags=" + std::to_string(flags));
  if (std::string(name).find("unknown") != std::string::npos) return MAPI_E_UNKNOWN_RECIPIENT;
  auto* r = static_cast<Resolved*>(std::calloc(1, sizeof(Resolved)));
  lstrcpynA(r->name, ("Resolved " + std::string(name)).c_str(), sizeof r->name);
  lstrcpynA(r->address, ("SMTP:" + std::string(name)).c_str(), sizeof r->address);
  r->entry[0] = 0xE1;
  r->entry[1] = 0xD0;
  r->entry[2] = static_cast<unsigned char>(std::string(name).size());
  r->desc.ulRecipClass = MAPI_TO;
  r->desc.lpszName = r->name;
  r->desc.lpszAddress = r->address;
  r->desc.ulEIDSize = 3;
  r->desc.lpEntryID = r->entry;
  *out = &r->desc;
  Record("resolved " + std::to_string(reinterpret_cast<uintptr_t>(r)));
  return SUCCESS_SUCCESS;
}

extern "C" __declspec(dllexport) ULONG WINAPI MAPIFreeBuffer(LPVOID p) {
  Record("MAPIFreeBuffer " + std::to_string(reinterpret_cast<uintptr_t>(p)));
  std::free(p);
  return SUCCESS_SUCCESS;
}

extern "C" __declspec(dllexport) ULONG WINAPI MAPISendMail(LHANDLE session, ULONG_PTR ui, lpMapiMessage m, FLAGS flags,
                                                           ULONG) {
  std::string line = "MAPISendMail session=" + std::to_string(session) + " ui=" + std::to_string(ui) +
                     " flags=" + std::to_string(flags) + " subject=" + Visible(m->lpszSubject) +
                     " note=" + Visible(m->lpszNoteText) + " recips=" + std::to_string(m->nRecipCount);
  for (ULONG i = 0; i < m->nRecipCount; ++i) {
    const MapiRecipDesc& r = m->lpRecips[i];
    const auto* eid = static_cast<const unsigned char*>(r.lpEntryID);
    line += " [" + std::to_string(r.ulRecipClass) + "|" + Visible(r.lpszName) + "|" + Visible(r.lpszAddress) + "|" +
            std::to_string(r.ulEIDSize) + ":" + (eid ? std::to_string(eid[2]) : std::string("-")) + "]";
  }
  line += " files=" + std::to_string(m->nFileCount) + (m->lpFiles ? "" : "(none)");
  for (ULONG i = 0; i < m->nFileCount; ++i) {
    const MapiFileDesc& f = m->lpFiles[i];
    line += " [" + std::to_string(static_cast<LONG>(f.nPosition)) + "|" + Visible(f.lpszPathName) + "|" +
            Visible(f.lpszFileName) + "|" + (f.lpFileType ? "type" : "notype") + "]";
  }
  Record(line);
  return Env("MAPI_STUB_FAIL") == "send" ? MAPI_E_FAILURE : SUCCESS_SUCCESS;
}
