#include <string>

#include "mdlPokoConv.h"

namespace mdlPokoConv {

namespace {

// The save dialog reports under the open dialog's location as well.
constexpr std::u16string_view kLocation = u"mdlMofu!GetBrowsePath";

enum class DialogKind { kOpen, kSave };

std::u16string QuotedIfBlank(std::u16string_view path) {
  if (path.find(u' ') == std::u16string_view::npos) {
    return std::u16string(path);
  }
  std::u16string quoted = u"\"";
  quoted += path;
  quoted += u'"';
  return quoted;
}

std::int32_t Browse(platform::Services& services, BrowseRequest& request, DialogKind kind) {
  ErrorTrap trap(services, kLocation);
  std::int32_t result = 0;

  trap.Step([&] { request.strPath = std::u16string(TrimBlanks(request.strPath)); });

  std::u16string initialName;
  trap.Step([&] {
    if (!request.strPath.empty()) {
      CmdLineParts parts{request.strPath, {}};
      SplitCmdLine(services, parts);
      initialName = std::move(parts.strFirst);
    }
  });

  platform::OpenFileName ofn;
  trap.Step([&] {
    platform::OpenFileName filled;
    filled.hwndOwner = request.hwndOwner;
    filled.hInstance = request.hInstance;
    filled.lpstrFilter = request.strFilter;
    filled.lpstrFile = std::move(initialName);
    filled.lpstrTitle = request.strTitle;
    filled.Flags =
        kind == DialogKind::kOpen ? platform::OFN_FILEMUSTEXIST | platform::OFN_HIDEREADONLY : 0;
    filled.nFilterIndex = request.nFilterIndex;
    ofn = std::move(filled);
  });

  trap.Step([&] {
    result =
        kind == DialogKind::kOpen ? services.GetOpenFileName(ofn) : services.GetSaveFileName(ofn);
  });

  if (result != 0) {
    trap.Step([&] {
      const std::u16string_view chosen = ofn.lpstrFile;
      request.strPath = QuotedIfBlank(chosen.substr(0, chosen.find(u'\0')));
      request.nFilterIndex = ofn.nFilterIndex;
    });
  }
  return result;
}

}  // namespace

std::int32_t GetBrowsePath(platform::Services& services, BrowseRequest& request) {
  return Browse(services, request, DialogKind::kOpen);
}

std::int32_t GetSaveBrowsePath(platform::Services& services, BrowseRequest& request) {
  return Browse(services, request, DialogKind::kSave);
}

std::u16string_view UnquotedPath(std::u16string_view path) {
  if (path.size() >= 2 && path.front() == u'"' && path.back() == u'"') {
    return path.substr(1, path.size() - 2);
  }
  return path;
}

}  // namespace mdlPokoConv
