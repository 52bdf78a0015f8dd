#pragma once
// The root of the system's own exception classes. Every class knows its name and its parent chain,
// so that "class name compared up the parent chain" (report filters, handled-class lists) works on
// the names alone.
#include <exception>
#include <string>
#include <string_view>
#include <vector>

namespace sondrel {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const noexcept { return message_; }
  void SetMessage(std::string m) { message_ = std::move(m); }

  virtual const char* ClassName() const noexcept { return "Exception"; }
  // Own class first, then each parent up to "Exception".
  std::vector<const char*> ClassChain() const {
    std::vector<const char*> chain;
    AppendClassChain(chain);
    return chain;
  }
  // True when the class or one of its parents has this name (letter case ignored).
  bool InheritsFrom(std::string_view class_name) const;

 protected:
  virtual void AppendClassChain(std::vector<const char*>& chain) const { chain.push_back("Exception"); }

 private:
  std::string message_;
};

// Declares an exception class Name derived from Parent, with its name in the chain.
#define SONDREL_EXCEPTION_CLASS(Name, Parent)                                          \
  class Name : public Parent {                                                         \
   public:                                                                             \
    using Parent::Parent;                                                              \
    const char* ClassName() const noexcept override { return #Name; }                 \
                                                                                       \
   protected:                                                                          \
    void AppendClassChain(std::vector<const char*>& chain) const override {            \
      chain.push_back(#Name);                                                          \
      Parent::AppendClassChain(chain);                                                 \
    }                                                                                  \
  }

// A silent exception: it ends the current operation and is never reported.
SONDREL_EXCEPTION_CLASS(EAbort, Exception);
SONDREL_EXCEPTION_CLASS(EConvertError, Exception);
// An operating-system failure; the message is the system's text for the error code.
class EOSError : public Exception {
 public:
  EOSError(unsigned long code, std::string message) : Exception(std::move(message)), code_(code) {}
  unsigned long ErrorCode() const noexcept { return code_; }
  const char* ClassName() const noexcept override { return "EOSError"; }

 protected:
  void AppendClassChain(std::vector<const char*>& chain) const override {
    chain.push_back("EOSError");
    Exception::AppendClassChain(chain);
  }

 private:
  unsigned long code_;
};

// Raises EOSError for the given code with the usual text:
// "System Error.  Code: <n>.\r\n<system message>".
[[noreturn]] void RaiseOSError(unsigned long code);
// Raises EOSError for the calling thread's last error (Windows), or errno (elsewhere).
[[noreturn]] void RaiseLastOSError();
// The system's message text for an error code, without the trailing line break.
std::string SysErrorMessage(unsigned long code);

// The class name of any exception, for reports: the system's own name for Exception objects,
// the demangled type name for other std::exception objects, "" when the pointer is empty.
std::string ExceptionClassName(const std::exception_ptr& e);
// The message of any exception; "" for objects that carry none.
std::string ExceptionMessage(const std::exception_ptr& e);
// Demangled name of a C++ type name as the compiler mangled it ("St13runtime_error" -> "std::runtime_error").
std::string Demangle(const char* mangled);

}  // namespace sondrel
