#pragma once
// Interception, the portable half: the exception classes that processor faults and other system
// exceptions become, and the copy of a stack taken at a raise.
#include <cstdint>
#include <string>
#include <vector>

#include "base/exception.h"

namespace sondrel {

// A system exception (a processor fault or a foreign exception code) as a language exception object.
class EExternalException : public Exception {
 public:
  EExternalException(std::string message, std::uint32_t code, std::uint32_t address,
                     std::vector<std::uint32_t> information = {})
      : Exception(std::move(message)), code_(code), address_(address), information_(std::move(information)) {}
  std::uint32_t ExceptionCode() const noexcept { return code_; }
  std::uint32_t ExceptionAddress() const noexcept { return address_; }
  const std::vector<std::uint32_t>& ExceptionInformation() const noexcept { return information_; }
  const char* ClassName() const noexcept override { return "EExternalException"; }

 protected:
  void AppendClassChain(std::vector<const char*>& chain) const override {
    chain.push_back("EExternalException");
    Exception::AppendClassChain(chain);
  }

 private:
  std::uint32_t code_;
  std::uint32_t address_;
  std::vector<std::uint32_t> information_;
};

SONDREL_EXCEPTION_CLASS(EAccessViolation, EExternalException);
SONDREL_EXCEPTION_CLASS(EStackOverflow, EExternalException);
SONDREL_EXCEPTION_CLASS(EDivByZero, EExternalException);
SONDREL_EXCEPTION_CLASS(EIntOverflow, EExternalException);
SONDREL_EXCEPTION_CLASS(ERangeError, EExternalException);
SONDREL_EXCEPTION_CLASS(EZeroDivide, EExternalException);
SONDREL_EXCEPTION_CLASS(EOverflow, EExternalException);
SONDREL_EXCEPTION_CLASS(EUnderflow, EExternalException);
SONDREL_EXCEPTION_CLASS(EInvalidOp, EExternalException);
SONDREL_EXCEPTION_CLASS(EPrivilege, EExternalException);
SONDREL_EXCEPTION_CLASS(EInvalidInstruction, EExternalException);
// The main window stopped answering (raised by the freeze watchdog, never thrown).
SONDREL_EXCEPTION_CLASS(EFrozenApplication, Exception);

// True for the exception codes of processor faults, which become language exceptions where they
// happen in the program's own code; other codes (debugger notices, foreign language exceptions,
// system notifications) are left to the system's handling.
bool IsProcessorFault(std::uint32_t code);
inline constexpr std::uint32_t kStackOverflowCode = 0xC00000FD;

// Throws the exception object for a system exception: the class by the code, a message naming the
// address (and, for an access violation, the kind of access and the address accessed from the
// first two information values).
[[noreturn]] void ThrowExternalException(std::uint32_t code, std::uint32_t address,
                                         const std::vector<std::uint32_t>& information);

// The stack of a thread copied at a moment that has passed (a raise, a thread's creation, a freeze):
// the bytes that lay at [base, base + bytes.size()).
struct StackCopy {
  std::uint32_t base = 0;
  std::vector<std::uint8_t> bytes;
  bool Contains(std::uint32_t address, std::uint32_t length) const {
    return address >= base && length <= bytes.size() && address - base <= bytes.size() - length;
  }
};

// The walk over a stack reads at most this many bytes above the stack pointer; copies stop there too.
inline constexpr std::uint32_t kStackCopyLimit = 0x100000;

}  // namespace sondrel
