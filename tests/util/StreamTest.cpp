#include "util/Stream.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/TestSupport.h"
#include "util/AtomicFile.h"
#include "util/Error.h"

namespace tvx {
namespace {

TEST(MemoryStream, ReadsWhatWasWrittenLittleEndian) {
  TMemoryStream s;
  s.WriteSignature("TVX1");
  s.WriteValue<int32_t>(0x01020304);
  s.WriteValue<float>(1.5f);
  EXPECT_EQ(s.Size(), 12);
  const auto& b = s.Bytes();
  EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "TVX1");
  EXPECT_EQ(b[4], 0x04);
  EXPECT_EQ(b[7], 0x01);
  s.Seek(0);
  EXPECT_EQ(s.ReadSignature(), "TVX1");
  EXPECT_EQ(s.ReadValue<int32_t>(), 0x01020304);
  EXPECT_EQ(s.ReadValue<float>(), 1.5f);
  EXPECT_EQ(s.Remaining(), 0);
}

TEST(MemoryStream, ShortReadRaisesStreamReadError) {
  TMemoryStream s(std::vector<uint8_t>{1, 2, 3});
  EXPECT_THROW(
      {
        try {
          s.ReadValue<int32_t>();
        } catch (const EError& e) {
          EXPECT_STREQ(e.what(), "TStream::ReadBuffer::1 - Stream read error!");
          throw;
        }
      },
      EError);
}

TEST(AtomicFile, ReplacesTargetOnlyOnCommit) {
  test::TTempDir dir;
  std::string target = dir / "out.bin";
  test::WriteFileBytes(target, "old");
  chmod(target.c_str(), 0640);
  {
    TAtomicFile f(target);
    f.Write("new content", 11);
    EXPECT_EQ(test::ReadFileBytes(target), "old");
  }  // destroyed without commit: target intact, no stray temporary file
  EXPECT_EQ(test::ReadFileBytes(target), "old");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);

  WriteFileAtomically(target, "new", 3);
  EXPECT_EQ(test::ReadFileBytes(target), "new");
  struct stat st;
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST(AtomicFile, MissingFolderRaises) {
  test::TTempDir dir;
  EXPECT_THROW(WriteFileAtomically(dir / "no/such/folder/x", "a", 1), EError);
}

}  // namespace
}  // namespace tvx
