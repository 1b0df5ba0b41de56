#include <gtest/gtest.h>

#include "fakeServices.h"
#include "mdlPokoConv.h"

namespace mdlPokoConv {
namespace {

TEST(SplitCmdLine, SplitsOffTheFirstToken) {
  struct Case {
    std::u16string line, first, rest;
  };
  const Case cases[] = {
      {u"", u"", u""},
      {u"   abc   ", u"abc", u""},
      {u"abc def  ghi", u"abc", u"def  ghi"},
      {u"\"C:\\My Documents\\a.txt\" /x", u"C:\\My Documents\\a.txt", u"/x"},
      {u"\"C:\\My Documents\\a.txt", u"C:\\My Documents\\a.txt", u""},
      {u"\"\" rest", u"", u"rest"},
      {u"\"", u"", u""},
      {u"\"a b\"z", u"a b", u"z"},
      {u"\" a b \" z", u"a b", u"z"},
      {u"a\"b z", u"a\"b", u"z"},
      {u"a\tb", u"a\tb", u""},
      {u"\u3000a b\u3000", u"\u3000a", u"b\u3000"},
      {u"  \"x\" \"y z\"  ", u"x", u"\"y z\""},
  };
  for (const Case& c : cases) {
    FakeServices services;
    CmdLineParts parts{c.line, u"left over"};
    SplitCmdLine(services, parts);
    EXPECT_EQ(parts.strFirst, c.first) << "line #" << (&c - cases);
    EXPECT_EQ(parts.strRest, c.rest) << "line #" << (&c - cases);
    EXPECT_TRUE(services.boxes.empty());
  }
}

}  // namespace
}  // namespace mdlPokoConv
