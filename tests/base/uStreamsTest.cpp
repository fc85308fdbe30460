#include "base/uStreams.h"

#include <gtest/gtest.h>

namespace {

TEST(TMemoryStream, WritesAtThePositionAndGrows) {
  TMemoryStream stream;
  stream.Write("hello");
  EXPECT_EQ(stream.Size(), 5);
  EXPECT_EQ(stream.Position(), 5);
  stream.SetPosition(1);
  stream.Write("EL");
  EXPECT_EQ(stream.Bytes(), "hELlo");
  EXPECT_EQ(stream.Position(), 3);
  stream.Write("LOOO");
  EXPECT_EQ(stream.Bytes(), "hELLOOO");
}

TEST(TMemoryStream, WritingPastTheEndFillsTheGapWithZeroBytes) {
  TMemoryStream stream;
  stream.SetPosition(2);
  stream.Write("x");
  EXPECT_EQ(stream.Bytes(), std::string("\0\0x", 3));
}

TEST(TMemoryStream, ReadsFromThePositionUpToTheEnd) {
  TMemoryStream stream(std::string("abc\0d", 5));
  EXPECT_EQ(stream.Position(), 0);
  EXPECT_EQ(stream.Read(2), "ab");
  EXPECT_EQ(stream.Read(10), std::string("c\0d", 3));
  EXPECT_EQ(stream.Read(1), "");
  stream.SetPosition(99);
  EXPECT_EQ(stream.Read(1), "");
  stream.Clear();
  EXPECT_EQ(stream.Size(), 0);
  EXPECT_EQ(stream.Position(), 0);
}

}  // namespace
