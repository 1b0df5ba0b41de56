// The File menu's load and save commands.
#include <QChar>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "frmMain.h"
#include "mdlPokoConv.h"
#include "progressDisplay.h"
#include "textCodec.h"

namespace {

using namespace std::string_literals;

// Each filter is a description and a pattern; one more NUL ends the list.
// Every file can be opened too: Linux texts are often .md, .log or .csv, or
// have no extension.
const std::u16string kOpenFilters = u"plain TEXT File (*.txt)\0*.txt\0すべてのファイル (*)\0*\0\0"s;
// Saving offers UTF-8 as a second choice; the first stays code page 932.
const std::u16string kSaveFilters =
    u"plain TEXT File (*.txt)\0*.txt\0UTF-8 TEXT File (*.txt)\0*.txt\0\0"s;
constexpr std::uint32_t kUtf8SaveFilter = 2;

constexpr std::u16string_view kLoadTitle = u"読み込み - ぽこぺん";
constexpr std::u16string_view kSaveTitle = u"保存 - ぽこぺん";
constexpr std::u16string_view kLoadProgress = u"ファイルを読み込んでいます...";
constexpr std::u16string_view kSaveProgress = u"ファイルに書き込んでいます...";

// How many of the characters a format cannot hold are shown by place.
constexpr std::size_t kListedCharacters = 5;

using mdlPokoConv::SaveFormat;

// The hourglass, and a progress dialog should the work take long.
struct Busy {
  Busy(mdlPokoConv::ErrorTrap& trap, QWidget& owner, std::u16string_view title,
       std::u16string_view label)
      : hourglass(trap), progress(owner, title, label) {}

  const mdlPokoConv::HourglassPointer hourglass;
  qtPlatform::ProgressDisplay progress;
};

std::u16string Decimal(std::size_t value) {
  return mdlPokoConv::AsciiText(std::to_string(value));
}

// Whether a character can be seen on its own between brackets: not a control,
// a format character, a blank, a lone surrogate or a combining mark.
bool IsVisible(char32_t codePoint) {
  switch (QChar::category(codePoint)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Other_PrivateUse:
    case QChar::Other_NotAssigned:
    case QChar::Separator_Space:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
      return false;
    default:
      return true;
  }
}

// "・2 行目 4 文字目「©」(U+00A9)"; an invisible character by its code point alone.
std::u16string PlaceLine(const textCodec::Unencodable& where) {
  const std::string hex = textCodec::CodePointText(where.codePoint);
  std::u16string line =
      u"・" + Decimal(where.line) + u" 行目 " + Decimal(where.column) + u" 文字目";
  if (IsVisible(where.codePoint)) {
    line += u"「";
    line += QString::fromUcs4(&where.codePoint, 1).toStdU16String();
    line += u"」(" + mdlPokoConv::AsciiText(hex) + u")";
  } else {
    line += u" " + mdlPokoConv::AsciiText(hex);
  }
  return line;
}

// The places of the first characters, then how many more there are.
std::u16string PlaceList(const textCodec::UnencodableCharacters& found) {
  std::u16string list;
  for (const textCodec::Unencodable& where : found.first) {
    list += PlaceLine(where) + u"\r\n";
  }
  if (found.count > found.first.size()) {
    list += u"・ほか " + Decimal(found.count - found.first.size()) + u" 個\r\n";
  }
  return list;
}

std::u16string SaveAsUtf8Question(const textCodec::UnencodableCharacters& found) {
  return u"コードページ 932 (Shift_JIS) で保存できない文字が " + Decimal(found.count) +
         u" 個あります。\r\n\r\n" + PlaceList(found) +
         u"\r\nUTF-8 なら、すべての文字をそのまま保存できます。\r\n"
         u"代わりに UTF-8 で、同じファイル名で保存しますか?";
}

std::u16string NotSavedAsUtf8(const textCodec::UnencodableCharacters& found) {
  return u"UTF-8 でも保存できない文字 (対になっていないサロゲート) が " + Decimal(found.count) +
         u" 個あります。\r\n\r\n" + PlaceList(found) +
         u"\r\nこれらの文字を消してから、もう一度保存してください。";
}

textCodec::UnencodableCharacters UnencodableIn(SaveFormat format, std::u16string_view text) {
  const textCodec::Encoding encoding =
      format == SaveFormat::Cp932 ? textCodec::Encoding::Cp932 : textCodec::Encoding::Utf8;
  return textCodec::FindEveryUnencodable(encoding, text, kListedCharacters);
}

// The format to save a text in that the chosen one cannot hold whole: UTF-8
// when the person agrees and it holds the text, none when the save is not to
// go on. Each box is a step of the trap.
std::optional<SaveFormat> FormatThatHolds(mdlPokoConv::ErrorTrap& trap, std::u16string_view text,
                                          SaveFormat chosen,
                                          const textCodec::UnencodableCharacters& found) {
  platform::Services& services = trap.Services();
  if (chosen == SaveFormat::Cp932) {
    int answer = platform::kAnswerNo;
    trap.Step([&] {
      answer =
          services.MsgBox(SaveAsUtf8Question(found), platform::kMsgBoxQuestionYesNo, kSaveTitle);
    });
    if (answer != platform::kAnswerYes) {
      return std::nullopt;
    }
    textCodec::UnencodableCharacters inUtf8;
    if (!trap.Step([&] { inUtf8 = UnencodableIn(SaveFormat::Utf8, text); })) {
      return std::nullopt;
    }
    if (inUtf8.count == 0) {
      return SaveFormat::Utf8;
    }
    return FormatThatHolds(trap, text, SaveFormat::Utf8, inUtf8);
  }
  trap.Step([&] {
    services.MsgBox(NotSavedAsUtf8(found), platform::kMsgBoxExclamationOkOnly, kSaveTitle);
  });
  return std::nullopt;
}

// Replaces the file with the text, each step trapped.
void WriteTextFile(mdlPokoConv::ErrorTrap& trap, std::u16string_view path, std::u16string_view text,
                   SaveFormat format, const textFiles::Progress& progress) {
  mdlPokoConv::TextFileWriter file;
  trap.Step([&] { file.Create(path, format); });
  trap.Step([&] { file.WriteText(text, progress); });
  trap.Step([&] { file.Close(); });
}

std::u16string RefusalMessage(const mdlPokoConv::RuntimeError& refusal) {
  return u"このファイルは読み込めません。\r\n\r\n" + refusal.Description;
}

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
  mdlPokoConv::BrowseRequest request = TextFileRequest(kLoadTitle, kOpenFilters);
  if (mdlPokoConv::GetBrowsePath(Services(), request) == 0) {
    return;
  }
  std::optional<mdlPokoConv::RuntimeError> refusal;
  {
    Busy busy(trap, *this, kLoadTitle, kLoadProgress);
    std::u16string text;
    // A file that cannot be opened or read is reported once and the load ends
    // there, leaving the upper box as it was.
    if (!trap.Step([&] {
          try {
            text = mdlPokoConv::LoadTextFile(mdlPokoConv::UnquotedPath(request.strPath),
                                             busy.progress.Part(0, 60));
          } catch (const mdlPokoConv::RefusedFileException& refused) {
            refusal = refused.Error();
          }
        })) {
      return;
    }
    if (!refusal) {
      trap.Step([&] { SetSourceText(text, busy.progress.Part(60, 100)); });
      return;
    }
  }
  // A file refused for what it holds is no failure of the program: it is
  // told plainly, once the hourglass has gone.
  trap.Step([&] {
    Services().MsgBox(RefusalMessage(*refusal), platform::kMsgBoxExclamationOkOnly, kLoadTitle);
  });
}

void frmMain::mnuFileSave_Click() {
  mdlPokoConv::ErrorTrap trap(Services(), u"frmMain!mnuFileSave.Click");
  mdlPokoConv::BrowseRequest request = TextFileRequest(kSaveTitle, kSaveFilters);
  if (mdlPokoConv::GetSaveBrowsePath(Services(), request) == 0) {
    return;
  }
  const std::u16string_view path = mdlPokoConv::UnquotedPath(request.strPath);
  const SaveFormat chosen =
      request.nFilterIndex == kUtf8SaveFilter ? SaveFormat::Utf8 : SaveFormat::Cp932;
  std::u16string text;
  textCodec::UnencodableCharacters unencodable;
  {
    Busy busy(trap, *this, kSaveTitle, kSaveProgress);
    // The text is checked whole before the file is touched; a text that
    // cannot be read from its box is not saved at all.
    if (!trap.Step([&] {
          text = ConvertedText(busy.progress.Part(0, 30));
          unencodable = UnencodableIn(chosen, text);
        })) {
      return;
    }
    if (unencodable.count == 0) {
      WriteTextFile(trap, path, text, chosen, busy.progress.Part(30, 100));
      return;
    }
  }
  // The chosen format cannot hold every character: the person decides, with
  // the default pointer, and nothing has been written yet.
  const std::optional<SaveFormat> format = FormatThatHolds(trap, text, chosen, unencodable);
  if (!format) {
    return;
  }
  Busy busy(trap, *this, kSaveTitle, kSaveProgress);
  WriteTextFile(trap, path, text, *format, busy.progress.Part(30, 100));
}
