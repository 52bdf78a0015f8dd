#include "errorreport/capture/intercept.h"

#include <cstdio>

namespace sondrel {

bool IsProcessorFault(std::uint32_t code) {
  switch (code) {
    case 0xC0000005:  // access violation
    case 0xC000008C:  // array bounds exceeded
    case 0xC000008D:  // float denormal operand
    case 0xC000008E:  // float divide by zero
    case 0xC000008F:  // float inexact result
    case 0xC0000090:  // float invalid operation
    case 0xC0000091:  // float overflow
    case 0xC0000092:  // float stack check
    case 0xC0000093:  // float underflow
    case 0xC0000094:  // integer divide by zero
    case 0xC0000095:  // integer overflow
    case 0xC0000096:  // privileged instruction
    case 0xC000001D:  // illegal instruction
    case 0xC0000006:  // in-page error
    case kStackOverflowCode:
      return true;
    default:
      return false;
  }
}

namespace {

std::string Hex(std::uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08X", static_cast<unsigned>(v));
  return buf;
}

}  // namespace

void ThrowExternalException(std::uint32_t code, std::uint32_t address, const std::vector<std::uint32_t>& info) {
  const std::string at = " at address " + Hex(address) + ".";
  switch (code) {
    case 0xC0000005: {
      std::string access = "Read of";
      if (info.size() >= 1 && info[0] == 1) access = "Write of";
      if (info.size() >= 1 && info[0] == 8) access = "Execution of";
      const std::string target = info.size() >= 2 ? " address " + Hex(info[1]) : " an unknown address";
      throw EAccessViolation("Access violation at address " + Hex(address) + ". " + access + target + ".", code,
                             address, info);
    }
    case kStackOverflowCode: throw EStackOverflow("Stack overflow" + at, code, address, info);
    case 0xC0000094: throw EDivByZero("Integer division by zero" + at, code, address, info);
    case 0xC0000095: throw EIntOverflow("Integer overflow" + at, code, address, info);
    case 0xC000008C: throw ERangeError("Array bounds exceeded" + at, code, address, info);
    case 0xC000008E: throw EZeroDivide("Floating point division by zero" + at, code, address, info);
    case 0xC0000091: throw EOverflow("Floating point overflow" + at, code, address, info);
    case 0xC0000093: throw EUnderflow("Floating point underflow" + at, code, address, info);
    case 0xC000008D:
    case 0xC000008F:
    case 0xC0000090:
    case 0xC0000092: throw EInvalidOp("Invalid floating point operation" + at, code, address, info);
    case 0xC0000096: throw EPrivilege("Privileged instruction" + at, code, address, info);
    case 0xC000001D: throw EInvalidInstruction("Illegal instruction" + at, code, address, info);
    default:
      throw EExternalException("External exception " + Hex(code) + at, code, address, info);
  }
}

}  // namespace sondrel
