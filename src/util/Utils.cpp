#include "util/Utils.h"

#include "util/Error.h"

namespace tvx {

void WriteString(TStream& stream, const std::string& text) {
  stream.WriteSignature("STR1");
  stream.WriteValue<int32_t>(static_cast<int32_t>(text.size()));
  stream.Write(text.data(), text.size());
}

std::string ReadString(TStream& stream) {
  char tag[4];
  size_t n = stream.Read(tag, 4);
  if (n != 4 || std::string_view(tag, 4) != "STR1")
    RaiseError("ReadString", 232, "Invalid string (Stream pointer: " + std::to_string(stream.Position()) + ")!");
  int32_t length = stream.ReadValue<int32_t>();
  if (length < 0 || length > stream.Remaining())
    RaiseError("ReadString", 240,
               "Invalid string length " + std::to_string(length) + " (Stream pointer: " +
                   std::to_string(stream.Position()) + ")!");
  std::string text(static_cast<size_t>(length), '\0');
  stream.ReadBuffer(text.data(), text.size());
  return text;
}

}  // namespace tvx
