#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace tvx {

/// The one error type of the program. Its message is always composed as
/// "Qualifier::N - text", where the qualifier names the raising operation and
/// N is a number fixed for each raise site, so messages stay greppable.
class EError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Composes "Qualifier::N - text".
std::string ComposeErrorMessage(std::string_view qualifier, int number, std::string_view text);

/// Throws EError with the composed message. Every raise site goes through here.
[[noreturn]] void RaiseError(std::string_view qualifier, int number, std::string_view text);

}  // namespace tvx
