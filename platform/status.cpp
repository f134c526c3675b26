#include "platform/status.h"

#include <cerrno>
#include <cstring>

namespace qm::platform {

Status Status::ErrorFromErrno(const std::string& what, const std::string& path) {
  const int e = errno;
  return Status(what + " " + path + ": " + std::strerror(e), e);
}

}  // namespace qm::platform
