#include <cerrno>
#include <cstring>

#include "base/exception.h"

namespace sondrel {

std::string SysErrorMessage(unsigned long code) { return std::strerror(static_cast<int>(code)); }

void RaiseLastOSError() { RaiseOSError(static_cast<unsigned long>(errno)); }

}  // namespace sondrel
