#pragma once
// A failure of a platform component, carried as a number and a description so
// that a handler that catches it can log "context: number - description".
#include <stdexcept>
#include <string>

namespace tavrik {

class PlatformError : public std::runtime_error {
 public:
  PlatformError(int number, const std::string& description)
      : std::runtime_error(description), number_(number) {}
  int Number() const { return number_; }
  std::string Description() const { return what(); }

 private:
  int number_;
};

// Number and description of any exception a handler caught.
struct FailureInfo {
  int number;
  std::string description;
};
FailureInfo DescribeFailure(const std::exception& e);

}  // namespace tavrik
