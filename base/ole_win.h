#pragma once
// COM on the user-interface thread: the failure of a COM call as an exception, and the thread's
// initialisation.
#include <windows.h>

#include <string>

#include "base/exception.h"

namespace sondrel {

// A failed COM call, with its result code; the message names the call and gives the system's text.
class EOleSysError : public Exception {
 public:
  EOleSysError(HRESULT code, const std::string& call);
  HRESULT ErrorCode() const noexcept { return code_; }
  const char* ClassName() const noexcept override { return "EOleSysError"; }

 protected:
  void AppendClassChain(std::vector<const char*>& chain) const override {
    chain.push_back("EOleSysError");
    Exception::AppendClassChain(chain);
  }

 private:
  HRESULT code_;
};

// Raises EOleSysError naming `call` when code is a failure.
void OleCheck(HRESULT code, const char* call);

// Initialises COM (single-threaded apartment) for the calling thread when it is not yet; a thread
// already initialised stays as it was. Never uninitialised: the thread keeps COM to its end.
void InitializeComForThread() noexcept;

}  // namespace sondrel
