#pragma once
// Processor and system faults as exception objects: a class derived from EExternalException, made
// from the system's exception record, so that a fault is reported with a class name and message like
// any language exception.
#include <cstdint>
#include <exception>

#include "base/exception.h"

namespace sondrel {

class EExternalException : public Exception {
 public:
  EExternalException(std::string message, uint32_t code, uint32_t address)
      : Exception(std::move(message)), code_(code), address_(address) {}
  uint32_t ExceptionCode() const noexcept { return code_; }
  uint32_t ExceptionAddress() const noexcept { return address_; }
  const char* ClassName() const noexcept override { return "EExternalException"; }

 protected:
  void AppendClassChain(std::vector<const char*>& chain) const override {
    chain.push_back("EExternalException");
    Exception::AppendClassChain(chain);
  }

 private:
  uint32_t code_;
  uint32_t address_;
};

SONDREL_EXCEPTION_CLASS(EAccessViolation, EExternalException);
SONDREL_EXCEPTION_CLASS(EStackOverflow, EExternalException);
SONDREL_EXCEPTION_CLASS(EPrivilege, EExternalException);
SONDREL_EXCEPTION_CLASS(EControlC, EExternalException);
SONDREL_EXCEPTION_CLASS(EIntError, EExternalException);
SONDREL_EXCEPTION_CLASS(EDivByZero, EIntError);
SONDREL_EXCEPTION_CLASS(ERangeError, EIntError);
SONDREL_EXCEPTION_CLASS(EIntOverflow, EIntError);
SONDREL_EXCEPTION_CLASS(EMathError, EExternalException);
SONDREL_EXCEPTION_CLASS(EInvalidOp, EMathError);
SONDREL_EXCEPTION_CLASS(EZeroDivide, EMathError);
SONDREL_EXCEPTION_CLASS(EOverflow, EMathError);
SONDREL_EXCEPTION_CLASS(EUnderflow, EMathError);

// The system's exception record, as far as the object needs it.
struct SystemExceptionFacts {
  uint32_t code = 0;
  uint32_t address = 0;
  uint32_t parameters[2] = {0, 0};  // for an access violation: 0 read / 1 write / 8 execute, address
  uint32_t parameter_count = 0;
};

// The exception object for a system exception record, as an exception_ptr.
std::exception_ptr MakeExternalException(const SystemExceptionFacts& facts);

}  // namespace sondrel
