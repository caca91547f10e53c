#pragma once
// Temporary stand-in for the EXIF settings record of the imageio module until
// it lands on main; removed then.

#include <string>

#include "util/Error.h"
#include "util/Stream.h"
#include "util/Utils.h"

namespace tvx::Watermark {

struct TWatermarkExif {
  bool WriteTitle = false, WriteCopyright = false, WriteArtist = false, WriteComment = false;
  std::string Title, Copyright, Artist, Comment;
  bool IsEmpty() const { return !(WriteTitle || WriteCopyright || WriteArtist || WriteComment); }
  void SaveToStream(TStream& s) const {
    s.WriteSignature("WMEX");
    s.WriteValue<int32_t>(1);
    for (bool b : {WriteTitle, WriteCopyright, WriteArtist, WriteComment}) s.WriteValue<uint8_t>(b);
    for (const std::string* t : {&Title, &Copyright, &Artist, &Comment}) WriteString(s, *t);
  }
  void LoadFromStream(TStream& s) {
    if (s.ReadSignature() != "WMEX") RaiseError("TWatermarkExif::LoadFromStream", 51, "Invalid signature!");
    int32_t v = s.ReadValue<int32_t>();
    if (v != 1) RaiseError("TWatermarkExif::LoadFromStream", 66, "Unknown version (" + std::to_string(v) + ")!");
    for (bool* b : {&WriteTitle, &WriteCopyright, &WriteArtist, &WriteComment}) *b = s.ReadValue<uint8_t>() != 0;
    for (std::string* t : {&Title, &Copyright, &Artist, &Comment}) *t = ReadString(s);
  }
};

}  // namespace tvx::Watermark
