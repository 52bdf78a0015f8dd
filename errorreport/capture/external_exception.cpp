#include "errorreport/capture/external_exception.h"

#include <cstdio>

#include "errorreport/capture/report_text.h"

namespace sondrel {
namespace {
template <class E>
std::exception_ptr Make(std::string message, const SystemExceptionFacts& f) {
  return std::make_exception_ptr(E(std::move(message), f.code, f.address));
}
}  // namespace

std::exception_ptr MakeExternalException(const SystemExceptionFacts& f) {
  switch (f.code) {
    case 0xC0000005u: {  // access violation
      std::string kind = "Read";
      if (f.parameter_count >= 1 && f.parameters[0] == 1) kind = "Write";
      if (f.parameter_count >= 1 && f.parameters[0] == 8) kind = "Execute";
      std::string msg = "Access violation at address " + HexAddress(f.address) + ". " + kind + " of address " +
                        HexAddress(f.parameter_count >= 2 ? f.parameters[1] : 0);
      return Make<EAccessViolation>(msg, f);
    }
    case 0xC00000FDu: return Make<EStackOverflow>("Stack overflow", f);
    case 0xC0000094u: return Make<EDivByZero>("Division by zero", f);
    case 0xC000008Cu: return Make<ERangeError>("Range check error", f);
    case 0xC0000095u: return Make<EIntOverflow>("Integer overflow", f);
    case 0xC0000090u:
    case 0xC000008Du:
    case 0xC000008Fu:
    case 0xC0000092u: return Make<EInvalidOp>("Invalid floating point operation", f);
    case 0xC000008Eu: return Make<EZeroDivide>("Floating point division by zero", f);
    case 0xC0000091u: return Make<EOverflow>("Floating point overflow", f);
    case 0xC0000093u: return Make<EUnderflow>("Floating point underflow", f);
    case 0xC0000096u:
    case 0xC000001Du: return Make<EPrivilege>("Privileged instruction", f);
    case 0xC000013Au: return Make<EControlC>("Control-C hit", f);
    default: break;
  }
  return Make<EExternalException>("External exception " + HexAddress(f.code), f);
}

}  // namespace sondrel
