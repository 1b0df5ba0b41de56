#include <gtest/gtest.h>

#include <cerrno>
#include <new>
#include <stdexcept>

#include "fakeServices.h"
#include "mdlPokoConv.h"
#include "pokopenVersion.h"

namespace mdlPokoConv {
namespace {

std::u16string LastLine() {
  return u"\"" + std::u16string(pokopenVersion::kAuthorName) + u"\" <" +
         pokopenVersion::kAuthorEmail + u"> まで連絡してください。";
}

TEST(ReportError, ShowsTheFiveLinesInASystemModalErrorBox) {
  struct Case {
    std::int32_t number;
    std::u16string description;
    std::u16string firstThreeLines;
  };
  const Case cases[] = {
      {53, u"/tmp/a.txt: No such file or directory",
       u"エラー番号:53\r\n場所:frmMain!mnuFileOpen.Clickぽこぺん1.00.2000\r\n"
       u"/tmp/a.txt: No such file or directory\r\n"},
      {-2147483647 - 1, u"x",
       u"エラー番号:-2147483648\r\n場所:frmMain!mnuFileOpen.Clickぽこぺん1.00.2000\r\nx\r\n"},
      {0, u"", u"エラー番号:0\r\n場所:frmMain!mnuFileOpen.Clickぽこぺん1.00.2000\r\n\r\n"},
  };
  for (const Case& c : cases) {
    FakeServices services;
    ReportError(services, u"frmMain!mnuFileOpen.Click", {c.number, c.description});
    ASSERT_EQ(services.boxes.size(), 1u);
    EXPECT_EQ(services.boxes[0].prompt,
              c.firstThreeLines + u"上記の説明と、エラーの発生したときの簡単な状況を書いて、\r\n" +
                  LastLine());
    EXPECT_EQ(services.boxes[0].style, 4112);
    EXPECT_EQ(services.boxes[0].title, u"エラー - ぽこぺん");
  }
}

TEST(ErrorTrap, ReportsEachFailedStepOnceAndGoesOn) {
  FakeServices services;
  ErrorTrap trap(services, u"mdlMofu!SplitCmdLine");
  std::vector<int> ran;
  EXPECT_FALSE(trap.Step([&] {
    ran.push_back(1);
    throw RuntimeErrorException({53, u"first"});
  }));
  EXPECT_TRUE(trap.Step([&] { ran.push_back(2); }));
  EXPECT_FALSE(trap.Step([&] {
    ran.push_back(3);
    throw RuntimeErrorException({61, u"second"});
  }));
  EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
  ASSERT_EQ(services.boxes.size(), 2u);
  EXPECT_TRUE(services.boxes[0].prompt.starts_with(u"エラー番号:53\r\n場所:mdlMofu!SplitCmdLine"));
  EXPECT_TRUE(services.boxes[1].prompt.starts_with(u"エラー番号:61\r\n場所:mdlMofu!SplitCmdLine"));
}

TEST(ErrorTrap, TurnsEveryExceptionIntoANumberAndDescription) {
  struct Case {
    std::function<void()> fail;
    std::u16string numberAndLocation, description;
  };
  const Case cases[] = {
      {[] {
         throw RuntimeErrorException({-7, u"ours"});
       },
       u"エラー番号:-7\r\n場所:here", u"ours"},
      {[] { throw std::bad_alloc(); }, u"エラー番号:7\r\n場所:here", SystemMessage(ENOMEM)},
      {[] { throw std::runtime_error("boom"); }, u"エラー番号:5\r\n場所:here", u"boom"},
      {[] { throw 42; }, u"エラー番号:5\r\n場所:here", SystemMessage(EINVAL)},
  };
  for (const Case& c : cases) {
    FakeServices services;
    ErrorTrap(services, u"here").Step(c.fail);
    ASSERT_EQ(services.boxes.size(), 1u);
    EXPECT_TRUE(services.boxes[0].prompt.starts_with(c.numberAndLocation));
    EXPECT_NE(services.boxes[0].prompt.find(u"\r\n" + c.description + u"\r\n"),
              std::u16string::npos);
  }
}

TEST(ErrorTrap, SwallowsAFailureOfTheReportItself) {
  struct ThrowingBox : FakeServices {
    int MsgBox(std::u16string_view, int, std::u16string_view) override {
      throw std::runtime_error("no box");
    }
  } services;
  EXPECT_FALSE(ErrorTrap(services, u"here").Step([] { throw std::bad_alloc(); }));
}

TEST(HourglassPointer, ShowsTheDefaultPointerAgainAfterAFailedStep) {
  FakeServices services;
  ErrorTrap trap(services, u"here");
  {
    const HourglassPointer hourglass(trap);
    trap.Step([] { throw RuntimeErrorException({57, u"io"}); });
  }
  EXPECT_EQ(services.pointers, (std::vector<int>{11, 0}));
  EXPECT_EQ(services.boxes.size(), 1u);
}

TEST(ErrorNumberForErrno, MapsFileFailuresToTheClassicNumbers) {
  const std::pair<int, std::int32_t> cases[] = {
      {ENOENT, 53},  {EACCES, 70},       {EPERM, 70}, {EROFS, 70},  {ETXTBSY, 70}, {EISDIR, 75},
      {ENOTDIR, 75}, {ENAMETOOLONG, 75}, {ELOOP, 75}, {EINVAL, 75}, {ENOSPC, 61},  {EDQUOT, 61},
      {EFBIG, 61},   {EIO, 57},          {ENOMEM, 7}, {EBUSY, 5},   {EMFILE, 5},
  };
  for (const auto& [errnum, number] : cases) {
    EXPECT_EQ(ErrorNumberForErrno(errnum), number) << "errno " << errnum;
  }
}

}  // namespace
}  // namespace mdlPokoConv
