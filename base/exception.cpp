#include "base/exception.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "base/text.h"

namespace sondrel {

bool Exception::InheritsFrom(std::string_view class_name) const {
  for (const char* name : ClassChain())
    if (SameText(name, class_name)) return true;
  return false;
}

void RaiseOSError(unsigned long code) {
  throw EOSError(code, "System Error.  Code: " + std::to_string(code) + ".\r\n" + SysErrorMessage(code));
}

std::string Demangle(const char* mangled) {
  if (!mangled) return {};
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> out(abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
  return status == 0 && out ? std::string(out.get()) : std::string(mangled);
}

std::string ExceptionClassName(const std::exception_ptr& e) {
  if (!e) return {};
  try {
    std::rethrow_exception(e);
  } catch (const Exception& x) {
    return x.ClassName();
  } catch (const std::exception& x) {
    return Demangle(typeid(x).name());
  } catch (...) {
    const std::type_info* t = abi::__cxa_current_exception_type();
    return t ? Demangle(t->name()) : std::string("unknown");
  }
}

std::string ExceptionMessage(const std::exception_ptr& e) {
  if (!e) return {};
  try {
    std::rethrow_exception(e);
  } catch (const std::exception& x) {
    return x.what();
  } catch (...) {
    return {};
  }
}

}  // namespace sondrel
