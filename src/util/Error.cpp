#include "util/Error.h"

namespace tvx {

std::string ComposeErrorMessage(std::string_view qualifier, int number, std::string_view text) {
  std::string message;
  message.reserve(qualifier.size() + text.size() + 16);
  message.append(qualifier).append("::").append(std::to_string(number)).append(" - ").append(text);
  return message;
}

void RaiseError(std::string_view qualifier, int number, std::string_view text) {
  throw EError(ComposeErrorMessage(qualifier, number, text));
}

}  // namespace tvx
