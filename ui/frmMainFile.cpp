// The File menu's load and save commands.
#include <string>
#include <string_view>

#include "frmMain.h"
#include "mdlPokoConv.h"

namespace {

using namespace std::string_literals;

// One filter: its description, its pattern, and the NUL that ends the list.
const std::u16string kTextFileFilter = u"plain TEXT File (*.txt)\0*.txt\0\0"s;

constexpr std::u16string_view kLoadTitle = u"読み込み - ぽこぺん";
constexpr std::u16string_view kSaveTitle = u"保存 - ぽこぺん";

}  // namespace

// Asked afresh on every run: neither command remembers the last file.
mdlPokoConv::BrowseRequest frmMain::TextFileRequest(std::u16string_view title) const {
  mdlPokoConv::BrowseRequest request;
  request.hwndOwner = WindowHandle();
  request.hInstance = InstanceHandle();
  request.strFilter = kTextFileFilter;
  request.strPath.clear();
  request.strTitle = title;
  return request;
}

void frmMain::mnuFileOpen_Click() {
  mdlPokoConv::ErrorTrap trap(Services(), u"frmMain!mnuFileOpen.Click");
  mdlPokoConv::BrowseRequest request = TextFileRequest(kLoadTitle);
  if (mdlPokoConv::GetBrowsePath(Services(), request) == 0) {
    return;
  }
  const mdlPokoConv::HourglassPointer hourglass(trap);
  std::u16string text;
  // A file that cannot be opened or read is reported once and the load ends
  // there, leaving the upper box as it was.
  if (!trap.Step(
          [&] { text = mdlPokoConv::LoadTextFile(mdlPokoConv::UnquotedPath(request.strPath)); })) {
    return;
  }
  trap.Step([&] { SetSourceText(text); });
}

void frmMain::mnuFileSave_Click() {
  mdlPokoConv::ErrorTrap trap(Services(), u"frmMain!mnuFileSave.Click");
  mdlPokoConv::BrowseRequest request = TextFileRequest(kSaveTitle);
  if (mdlPokoConv::GetSaveBrowsePath(Services(), request) == 0) {
    return;
  }
  const mdlPokoConv::HourglassPointer hourglass(trap);
  mdlPokoConv::TextFileWriter file;
  trap.Step([&] { file.Create(mdlPokoConv::UnquotedPath(request.strPath)); });
  trap.Step([&] { file.WriteText(ConvertedText()); });
  trap.Step([&] { file.Close(); });
}
