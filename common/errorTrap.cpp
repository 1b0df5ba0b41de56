#include "errorTrap.h"

#include <locale.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <string>

#include "pokopenVersion.h"
#include "textCodec.h"
#include "versionText.h"

namespace mdlPokoConv {

namespace {

// The message of errnum in the untranslated C locale, for a locale whose
// messages are not UTF-8.
std::u16string UntranslatedSystemMessage(int errnum) {
  const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t{});
  if (c == locale_t{}) {
    return u"errno " + AsciiText(std::to_string(errnum));
  }
  std::u16string message = AsciiText(strerror_l(errnum, c));
  freelocale(c);
  return message;
}

std::u16string DescriptionOfWhat(const char* what) {
  textCodec::Decoded decoded = textCodec::DecodeUtf8(what);
  if (decoded.error || decoded.text.empty()) {
    return SystemMessage(EINVAL);
  }
  return std::move(decoded.text);
}

// The error being handled; called only from inside a catch block.
RuntimeError CurrentError() {
  try {
    throw;
  } catch (const RuntimeErrorException& e) {
    return e.Error();
  } catch (const std::bad_alloc&) {
    return {kErrOutOfMemory, SystemMessage(ENOMEM)};
  } catch (const std::exception& e) {
    return {kErrInvalidArgument, DescriptionOfWhat(e.what())};
  } catch (...) {
    return {kErrInvalidArgument, SystemMessage(EINVAL)};
  }
}

std::u16string ErrorMessageText(std::u16string_view location, const RuntimeError& error) {
  constexpr std::u16string_view kCrLf = u"\r\n";
  std::u16string text = u"エラー番号:";
  text += AsciiText(std::to_string(error.Number));
  text += kCrLf;
  text += u"場所:";
  text += location;
  text += kProgramName;
  text += pokopenVersion::ProgramVersionText();
  text += kCrLf;
  text += error.Description;
  text += kCrLf;
  text += u"上記の説明と、エラーの発生したときの簡単な状況を書いて、";
  text += kCrLf;
  text += u"\"";
  text += pokopenVersion::kAuthorName;
  text += u"\" <";
  text += pokopenVersion::kAuthorEmail;
  text += u"> まで連絡してください。";
  return text;
}

}  // namespace

std::u16string AsciiText(std::string_view ascii) {
  return {ascii.begin(), ascii.end()};
}

std::int32_t ErrorNumberForErrno(int errnum) {
  switch (errnum) {
    case ENOENT:
      return kErrFileNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
      return kErrPermissionDenied;
    case EISDIR:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
    case EINVAL:
      return kErrPathFileAccess;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return kErrDiskFull;
    case EIO:
      return kErrDeviceIo;
    case ENOMEM:
      return kErrOutOfMemory;
    default:
      return kErrInvalidArgument;
  }
}

std::u16string SystemMessage(int errnum) {
  char buffer[256];
  // The GNU strerror_r: the message follows the locale's LC_MESSAGES.
  const char* message = strerror_r(errnum, buffer, sizeof buffer);
  textCodec::Decoded decoded = textCodec::DecodeUtf8(message);
  if (decoded.error) {
    return UntranslatedSystemMessage(errnum);
  }
  return std::move(decoded.text);
}

RuntimeError PathError(std::int32_t number, std::u16string_view path, std::u16string_view detail) {
  std::u16string description(path);
  description += u": ";
  description += detail;
  return {number, std::move(description)};
}

RuntimeError SystemError(int errnum, std::u16string_view path) {
  return PathError(ErrorNumberForErrno(errnum), path, SystemMessage(errnum));
}

void ReportError(platform::Services& services, std::u16string_view location,
                 const RuntimeError& error) {
  const std::u16string title = u"エラー - " + std::u16string(kProgramName);
  services.MsgBox(ErrorMessageText(location, error), platform::kMsgBoxErrorSystemModal, title);
}

void ErrorTrap::ReportCurrentException() noexcept {
  try {
    ReportError(services_, location_, CurrentError());
  } catch (...) {
    // The report itself failed (no memory for its text, or the box could not
    // be shown): nothing is left to tell the person with, and the routine goes
    // on regardless.
  }
}

HourglassPointer::HourglassPointer(ErrorTrap& trap) : services_(trap.Services()), trap_(&trap) {
  trap_->Step([this] { services_.SetMousePointer(platform::kPointerHourglass); });
}

HourglassPointer::HourglassPointer(platform::Services& services) : services_(services) {
  services_.SetMousePointer(platform::kPointerHourglass);
}

HourglassPointer::~HourglassPointer() {
  if (trap_ != nullptr) {
    trap_->Step([this] { services_.SetMousePointer(platform::kPointerDefault); });
    return;
  }
  try {
    services_.SetMousePointer(platform::kPointerDefault);
  } catch (...) {
    // Nothing is left to tell the person with; the command has ended anyway.
  }
}

}  // namespace mdlPokoConv
