#include <gtest/gtest.h>

#include "fakeServices.h"
#include "mdlPokoConv.h"

namespace mdlPokoConv {
namespace {

const std::u16string kFilter(u"plain TEXT File (*.txt)\0*.txt\0\0", 31);

BrowseRequest Request(std::u16string path) {
  return {7, 9, kFilter, std::move(path), u"題"};
}

struct Dialog {
  bool save;
  std::int32_t (*browse)(platform::Services&, BrowseRequest&);
  std::uint32_t flags;
};
const Dialog kDialogs[] = {{false, GetBrowsePath, 4100}, {true, GetSaveBrowsePath, 0}};

TEST(BrowsePath, FillsTheDialogFromTheRequest) {
  for (const Dialog& dialog : kDialogs) {
    FakeServices services;
    BrowseRequest request = Request(u"");
    EXPECT_EQ(dialog.browse(services, request), 0);
    ASSERT_EQ(services.dialogs.size(), 1u);
    const FakeServices::DialogCall& call = services.dialogs[0];
    EXPECT_EQ(call.save, dialog.save);
    EXPECT_EQ(call.ofn.hwndOwner, 7);
    EXPECT_EQ(call.ofn.hInstance, 9);
    EXPECT_EQ(call.ofn.lpstrFilter, kFilter);
    EXPECT_EQ(call.ofn.lpstrFile, u"");
    EXPECT_EQ(call.ofn.lpstrTitle, u"題");
    EXPECT_EQ(call.ofn.Flags, dialog.flags);
    EXPECT_TRUE(services.boxes.empty());
  }
}

TEST(BrowsePath, TakesTheInitialNameFromTheFirstTokenOfThePath) {
  const std::u16string longName = u"/tmp/" + std::u16string(2000, u'ぽ') + u".txt";
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"  \"/home/me/My Documents/a.txt\"  ", u"/home/me/My Documents/a.txt"},
      {u"/home/me/My Documents/a.txt", u"/home/me/My"},
      {longName, longName},
  };
  for (const Dialog& dialog : kDialogs) {
    for (const auto& [path, initialName] : cases) {
      FakeServices services;
      BrowseRequest request = Request(path);
      dialog.browse(services, request);
      EXPECT_EQ(services.dialogs.at(0).ofn.lpstrFile, initialName);
      EXPECT_EQ(request.strPath, TrimBlanks(path)) << "cancel leaves the trimmed path";
    }
  }
}

TEST(BrowsePath, ReturnsTheChosenPathQuotedWhenItHasABlank) {
  const std::u16string longPath = u"/tmp/" + std::u16string(5000, u'こ') + u" x.txt";
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"/home/me/My Documents/a.txt", u"\"/home/me/My Documents/a.txt\""},
      {u"/home/me/docs/a.txt", u"/home/me/docs/a.txt"},
      {std::u16string(u"/tmp/a.txt\0junk", 15), u"/tmp/a.txt"},
      {longPath, u"\"" + longPath + u"\""},
  };
  for (const Dialog& dialog : kDialogs) {
    for (const auto& [chosen, stored] : cases) {
      FakeServices services;
      services.dialogAnswers.push_back(chosen);
      BrowseRequest request = Request(u" old ");
      EXPECT_NE(dialog.browse(services, request), 0);
      EXPECT_EQ(request.strPath, stored);
      EXPECT_EQ(UnquotedPath(request.strPath), chosen.substr(0, chosen.find(u'\0')));

      // Handed back as the next initial path, it names the same file.
      FakeServices again;
      dialog.browse(again, request);
      EXPECT_EQ(again.dialogs.at(0).ofn.lpstrFile, UnquotedPath(stored));
    }
  }
}

TEST(BrowsePath, ReportsAFailingDialogUnderTheOpenDialogsLocation) {
  for (const Dialog& dialog : kDialogs) {
    FakeServices services;
    services.onDialog = [] { throw RuntimeErrorException({57, u"io"}); };
    services.dialogAnswers.push_back(u"/tmp/a.txt");
    BrowseRequest request = Request(u"  a  ");
    EXPECT_EQ(dialog.browse(services, request), 0);
    EXPECT_EQ(request.strPath, u"a");
    ASSERT_EQ(services.boxes.size(), 1u);
    EXPECT_TRUE(services.boxes[0].prompt.starts_with(
        u"エラー番号:57\r\n場所:mdlMofu!GetBrowsePathぽこぺん"));
  }
}

TEST(UnquotedPath, RemovesOnlyEnclosingMarks) {
  const std::pair<std::u16string_view, std::u16string_view> cases[] = {
      {u"\"/a b/c\"", u"/a b/c"}, {u"/a/c", u"/a/c"}, {u"\"", u"\""}, {u"\"\"", u""},
      {u"\"/a b\"\"", u"/a b\""}, {u"/a\"", u"/a\""},
  };
  for (const auto& [path, plain] : cases) {
    EXPECT_EQ(UnquotedPath(path), plain);
  }
}

}  // namespace
}  // namespace mdlPokoConv
