// The File menu's load and save commands.
#include <string>
#include <string_view>

#include "frmMain.h"
#include "mdlPokoConv.h"
#include "progressDisplay.h"

namespace {

using namespace std::string_literals;

// Each filter is a description and a pattern; one more NUL ends the list.
const std::u16string kTextFileFilter = u"plain TEXT File (*.txt)\0*.txt\0\0"s;
// Saving offers UTF-8 as a second choice; the first stays code page 932.
const std::u16string kSaveFilters =
    u"plain TEXT File (*.txt)\0*.txt\0UTF-8 TEXT File (*.txt)\0*.txt\0\0"s;
constexpr std::uint32_t kUtf8SaveFilter = 2;

constexpr std::u16string_view kLoadTitle = u"読み込み - ぽこぺん";
constexpr std::u16string_view kSaveTitle = u"保存 - ぽこぺん";
constexpr std::u16string_view kLoadProgress = u"ファイルを読み込んでいます...";
constexpr std::u16string_view kSaveProgress = u"ファイルに書き込んでいます...";

}  // namespace

// Asked afresh on every run: neither command remembers the last file.
mdlPokoConv::BrowseRequest frmMain::TextFileRequest(std::u16string_view title,
                                                    std::u16string_view filter) const {
  mdlPokoConv::BrowseRequest request;
  request.hwndOwner = WindowHandle();
  request.hInstance = InstanceHandle();
  request.strFilter = filter;
  request.strPath.clear();
  request.strTitle = title;
  return request;
}

void frmMain::mnuFileOpen_Click() {
  mdlPokoConv::ErrorTrap trap(Services(), u"frmMain!mnuFileOpen.Click");
  mdlPokoConv::BrowseRequest request = TextFileRequest(kLoadTitle, kTextFileFilter);
  if (mdlPokoConv::GetBrowsePath(Services(), request) == 0) {
    return;
  }
  const mdlPokoConv::HourglassPointer hourglass(trap);
  qtPlatform::ProgressDisplay progress(*this, kLoadTitle, kLoadProgress);
  std::u16string text;
  // A file that cannot be opened or read is reported once and the load ends
  // there, leaving the upper box as it was.
  if (!trap.Step([&] {
        text = mdlPokoConv::LoadTextFile(mdlPokoConv::UnquotedPath(request.strPath),
                                         progress.Part(0, 60));
      })) {
    return;
  }
  trap.Step([&] { SetSourceText(text, progress.Part(60, 100)); });
}

void frmMain::mnuFileSave_Click() {
  mdlPokoConv::ErrorTrap trap(Services(), u"frmMain!mnuFileSave.Click");
  mdlPokoConv::BrowseRequest request = TextFileRequest(kSaveTitle, kSaveFilters);
  if (mdlPokoConv::GetSaveBrowsePath(Services(), request) == 0) {
    return;
  }
  const mdlPokoConv::HourglassPointer hourglass(trap);
  qtPlatform::ProgressDisplay progress(*this, kSaveTitle, kSaveProgress);
  mdlPokoConv::TextFileWriter file;
  const mdlPokoConv::SaveFormat format = request.nFilterIndex == kUtf8SaveFilter
                                             ? mdlPokoConv::SaveFormat::Utf8
                                             : mdlPokoConv::SaveFormat::Cp932;
  trap.Step([&] { file.Create(mdlPokoConv::UnquotedPath(request.strPath), format); });
  trap.Step([&] { file.WriteText(ConvertedText(progress.Part(0, 30)), progress.Part(30, 100)); });
  trap.Step([&] { file.Close(); });
}
