#include "errorreport/delivery/mail_client_win.h"

#include <windows.h>
#include <mapi.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/exception.h"
#include "base/file.h"
#include "base/handle_win.h"
#include "errorreport/delivery/smtp_message.h"

namespace sondrel {
namespace {

// A string value read through a key opened for reading only; the stored terminating zero is dropped.
// Empty when the key or value is missing.
std::string ReadRegistryText(HKEY root, const std::string& key, const char* name) {
  HKEY h = nullptr;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return {};
  UniqueRegKey k(h);
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(h, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return {};
  std::string value(size + 1, '\0');
  if (RegQueryValueExA(h, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) != ERROR_SUCCESS)
    return {};
  value.resize(std::min<size_t>(size, value.size()));
  if (const size_t zero = value.find('\0'); zero != std::string::npos) value.resize(zero);
  return value;
}

// The text with its environment references expanded; a result longer than the buffer keeps the text.
std::string ExpandEnvironment(const std::string& text) {
  char buf[2048];
  const DWORD n = ExpandEnvironmentStringsA(text.c_str(), buf, sizeof buf);
  return n == 0 || n > sizeof buf ? text : std::string(buf, n - 1);
}

HMODULE LoadMapiLibrary(const char* system_library) {
  const std::string client = ReadRegistryText(HKEY_LOCAL_MACHINE, "SOFTWARE\\Clients\\Mail", nullptr);
  HMODULE lib = nullptr;
  if (!client.empty()) {
    const std::string path =
        ExpandEnvironment(ReadRegistryText(HKEY_LOCAL_MACHINE, "SOFTWARE\\Clients\\Mail\\" + client, "DLLPath"));
    if (!path.empty()) lib = LoadLibraryA(path.c_str());
  }
  return lib ? lib : LoadLibraryA(system_library);
}

// The name and address of a resolved recipient, in buffers of our own: the client's descriptions are
// released before the process ends, and a name longer than the buffer is cut, not overrun.
struct RecipientText {
  char name[257] = {};
  char address[257] = {};
};

void CopyText(char (&to)[257], const char* from) {
  if (from) std::strncpy(to, from, sizeof to - 1);
}

struct WindowSearch {
  DWORD pid;
  HWND found;
};

// The first visible top-level window of the process that has no owner and is an application window.
BOOL CALLBACK TakeMainWindow(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<WindowSearch*>(p);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (pid != s->pid || !IsWindowVisible(w)) return TRUE;
  const HWND owner = GetWindow(w, GW_OWNER);
  if (owner && owner != GetDesktopWindow()) return TRUE;
  const LONG ex = GetWindowLongA(w, GWL_EXSTYLE);
  if ((ex & WS_EX_TOOLWINDOW) && !(ex & WS_EX_APPWINDOW)) return TRUE;
  s->found = w;
  return FALSE;
}

HWND MainWindowOf(DWORD process_id) {
  WindowSearch search{process_id, nullptr};
  EnumWindows(TakeMainWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace

bool MapiSend(const std::string& recipients, const std::string& subject, const std::string& body,
              const StringList& attachments, const LastErrorRecorder& record, const char* system_library) {
  auto fail = [&record](const char* text) {
    if (record) record(eeEmailMAPIError, text);
    return false;
  };
  StringList to = SplitRecipients(recipients);
  UniqueModule lib(LoadMapiLibrary(system_library));
  if (!lib) return fail("Cannot open the MAPI dll.");
  const auto logon = ProcAddress<LPMAPILOGON>(lib.get(), "MAPILogon");
  const auto logoff = ProcAddress<LPMAPILOGOFF>(lib.get(), "MAPILogoff");
  const auto send = ProcAddress<LPMAPISENDMAIL>(lib.get(), "MAPISendMail");
  const auto resolve = ProcAddress<LPMAPIRESOLVENAME>(lib.get(), "MAPIResolveName");
  const auto free_buffer = ProcAddress<LPMAPIFREEBUFFER>(lib.get(), "MAPIFreeBuffer");
  if (!logon || !logoff || !send || !resolve || !free_buffer) return fail("Cannot found the MAPI functions.");

  LHANDLE session = 0;
  if (logon(0, nullptr, nullptr, MAPI_LOGON_UI, 0, &session) != SUCCESS_SUCCESS)
    return fail("Cannot LogOn into the MAPI service.");
  // Released in this order whatever happens: the resolved descriptions, the session, the library.
  struct Session {
    LPMAPILOGOFF logoff;
    LHANDLE session;
    ~Session() { logoff(session, 0, 0, 0); }
  } logged_on{logoff, session};
  struct Resolved {
    LPMAPIFREEBUFFER free_buffer;
    std::vector<lpMapiRecipDesc> descs;
    ~Resolved() {
      for (lpMapiRecipDesc d : descs) free_buffer(d);
    }
  } resolved{free_buffer, {}};

  StringList paths, names;
  for (const std::string& a : attachments)
    if (!a.empty() && FileExists(a)) {
      paths.push_back(a);
      names.push_back(ExtractFileName(a));
    }
  std::vector<MapiFileDesc> files(paths.size());
  for (size_t i = 0; i < paths.size(); ++i) {
    files[i].nPosition = static_cast<ULONG>(-1);
    files[i].lpszPathName = paths[i].data();
    files[i].lpszFileName = names[i].data();
  }

  std::vector<RecipientText> texts(to.size());
  std::vector<MapiRecipDesc> recips(to.size());
  for (size_t i = 0; i < to.size(); ++i) {
    lpMapiRecipDesc r = nullptr;
    // A recipient the client does not know stops the message; the caller falls back to mailto.
    if (resolve(session, 0, to[i].data(), 0, 0, &r) != SUCCESS_SUCCESS || !r) return false;
    resolved.descs.push_back(r);
    CopyText(texts[i].name, r->lpszName);
    CopyText(texts[i].address, r->lpszAddress ? r->lpszAddress : r->lpszName);
    recips[i].ulRecipClass = MAPI_TO;
    recips[i].lpszName = texts[i].name;
    recips[i].lpszAddress = texts[i].address;
    recips[i].ulEIDSize = r->ulEIDSize;
    recips[i].lpEntryID = r->lpEntryID;
  }

  std::string subject_text = subject, note = body;
  MapiMessage message{};
  message.lpszSubject = subject_text.data();
  message.lpszNoteText = note.data();
  message.nRecipCount = static_cast<ULONG>(recips.size());
  message.lpRecips = recips.empty() ? nullptr : recips.data();
  message.nFileCount = static_cast<ULONG>(files.size());
  message.lpFiles = files.empty() ? nullptr : files.data();
  // The session of the logon is not handed on: the client opens its own for the message.
  if (send(0, 0, &message, MAPI_LOGON_UI, 0) != SUCCESS_SUCCESS) return fail("Cannot send the MAPI message.");
  return true;
}

bool MailtoSend(const std::string& recipients, const std::string& subject, const std::string& body,
                const std::string& report, const LastErrorRecorder& record) {
  const std::string command =
      ExpandEnvironment(ReadRegistryText(HKEY_CLASSES_ROOT, "mailto\\shell\\open\\command", nullptr));
  std::string line = MailtoCommandLine(command, recipients, subject, body, report);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NEW_PROCESS_GROUP | NORMAL_PRIORITY_CLASS,
                      nullptr, nullptr, &si, &pi)) {
    if (record) record(eeEmailShellError, SysErrorMessage(GetLastError()));
    return false;
  }
  UniqueHandle process(pi.hProcess), thread(pi.hThread);
  WaitForInputIdle(pi.hProcess, 10000);
  // Mail clients open their compose window some time after they are ready for input.
  Sleep(2000);
  if (HWND w = MainWindowOf(pi.dwProcessId)) {
    SetWindowPos(w, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ShowWindow(w, SW_SHOWMAXIMIZED);
  }
  return true;
}

}  // namespace sondrel
