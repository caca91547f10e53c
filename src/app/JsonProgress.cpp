#include "app/JsonProgress.h"

#include <cstdint>

namespace tvx {
namespace {

// The length of the well-formed UTF-8 sequence at text[i], 0 when there is none.
size_t Utf8Length(const std::string& text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char c = byte(i);
  size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
  if (length == 0 || i + length > text.size()) return 0;
  uint32_t code = length == 1 ? c : length == 2 ? (c & 0x1F) : length == 3 ? (c & 0x0F) : (c & 0x07);
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  // Overlong forms, surrogates and values past Unicode are not UTF-8.
  static constexpr uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kMinimum[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
  return length;
}

const char* StatusName(TPictureStatus status) {
  switch (status) {
    case TPictureStatus::Written:
      return "written";
    case TPictureStatus::Copied:
      return "copied";
    case TPictureStatus::Skipped:
    case TPictureStatus::Missing:
      return "skipped";
    case TPictureStatus::Failed:
      return "failed";
    case TPictureStatus::Planned:
      return "planned";
  }
  return "unknown";
}

}  // namespace

std::string JsonQuote(const std::string& text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++i;
    } else if (c < 0x20) {
      switch (c) {
        case '\n':
          out += "\\n";
          break;
        case '\r':
          out += "\\r";
          break;
        case '\t':
          out += "\\t";
          break;
        default:
          out += "\\u00";
          out += kHex[c >> 4];
          out += kHex[c & 0xF];
      }
      ++i;
    } else if (size_t length = Utf8Length(text, i)) {
      out.append(text, i, length);
      i += length;
    } else {
      out += "\\udc";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
      ++i;
    }
  }
  return out + "\"";
}

void TJsonProgress::PictureDone(const TPictureEvent& event) {
  std::string line = "{\"index\":" + std::to_string(event.Index) + ",\"source\":" + JsonQuote(event.Source) +
                     ",\"output\":" + (event.Output.empty() ? std::string("null") : JsonQuote(event.Output)) +
                     ",\"status\":\"" + StatusName(event.Status) + "\"";
  if (event.Status == TPictureStatus::Skipped) line += ",\"reason\":\"exists\"";
  if (event.Status == TPictureStatus::Missing) line += ",\"reason\":\"missing\"";
  if (!event.Decision.empty()) line += ",\"decision\":" + JsonQuote(event.Decision);
  if (event.Status == TPictureStatus::Failed) line += ",\"error\":" + JsonQuote(event.Error);
  if (!event.Path.empty()) {
    line += ",\"path\":" + JsonQuote(event.Path) + ",\"path_reason\":" + JsonQuote(event.PathReason);
    if (event.Path == "blocks")
      line += ",\"mcus\":" + std::to_string(event.Units) +
              ",\"mcus_redrawn\":" + std::to_string(event.UnitsRedrawn);
  }
  line += ",\"ms\":" + std::to_string(event.Ms) + "}";
  Line(line);
}

void TJsonProgress::Final(const TRunStats& stats, const std::string& status, int exitStatus,
                          const std::string& error) {
  std::string line =
      "{\"final\":true,\"status\":" + JsonQuote(status) +
      ",\"written\":" + std::to_string(stats.Written - stats.Copied) +
      ",\"copied\":" + std::to_string(stats.Copied) + ",\"skipped\":" + std::to_string(stats.Skipped) +
      ",\"missing\":" + std::to_string(stats.Missing) + ",\"failed\":" + std::to_string(stats.Failed) +
      ",\"planned\":" + std::to_string(stats.Planned);
  if (!error.empty()) line += ",\"error\":" + JsonQuote(error);
  line += ",\"exit\":" + std::to_string(exitStatus) + "}";
  Line(line);
}

void TJsonProgress::Line(const std::string& text) {
  if (broken_) return;
  const bool written =
      std::fputs(text.c_str(), out_) >= 0 && std::fputc('\n', out_) != EOF && std::fflush(out_) == 0;
  if (!written) {
    broken_ = true;
    if (onBroken_) onBroken_();
  }
}

}  // namespace tvx
