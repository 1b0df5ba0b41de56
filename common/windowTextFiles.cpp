#include "windowTextFiles.h"

#include <cerrno>
#include <cstdio>
#include <utility>
#include <variant>

namespace mdlPokoConv {

namespace {

constexpr std::u16string_view kNotRegularFile = u"通常のファイルではありません";
// Text is written in pieces of this many units, so that its bytes never need
// to be held all at once.
constexpr std::size_t kWritePieceUnits = std::size_t{1} << 20;

[[noreturn]] void Throw(RuntimeError error) {
  throw RuntimeErrorException(std::move(error));
}

std::u16string Decimal(std::uint64_t value) {
  return AsciiText(std::to_string(value));
}

std::u16string_view EncodingName(textCodec::Encoding encoding) {
  switch (encoding) {
    case textCodec::Encoding::Utf8:
      return u"UTF-8";
    case textCodec::Encoding::Utf16Le:
    case textCodec::Encoding::Utf16Be:
      return u"UTF-16";
    case textCodec::Encoding::Cp932:
      return u"コードページ 932";
  }
  return u"";
}

// The name the system knows the file by. A path that no file name can hold (a
// lone surrogate, a NUL) is a bad name.
std::string FileSystemName(std::u16string_view path) {
  textCodec::Encoded encoded = textCodec::EncodeUtf8(path);
  if (encoded.error || encoded.bytes.find('\0') != std::string::npos) {
    Throw(SystemError(EINVAL, path));
  }
  return std::move(encoded.bytes);
}

struct DescribedProblem {
  std::u16string_view path;

  RuntimeError operator()(const textFiles::SystemFailure& failure) const {
    return SystemError(failure.errnum, path);
  }
  RuntimeError operator()(const textFiles::NotRegularFile&) const {
    return PathError(kErrPathFileAccess, path, kNotRegularFile);
  }
  RuntimeError operator()(const textFiles::InvalidText& invalid) const {
    std::u16string detail(EncodingName(invalid.encoding));
    detail += u" として読めないバイトがあります (オフセット ";
    detail += Decimal(invalid.byteOffset);
    detail += u")";
    if (invalid.validUtf8) {
      detail +=
          invalid.encoding == textCodec::Encoding::Cp932
              ? u"。UTF-8 としては読めます"
              : u"。UTF-16 のバイト順マークのあとが UTF-8 です (マークの 2 バイトを除いてください)";
    }
    return PathError(kErrInvalidArgument, path, detail);
  }
  RuntimeError operator()(const textFiles::NulByte& nul) const {
    return PathError(
        kErrInvalidArgument, path,
        u"NUL バイトがあります (オフセット " + Decimal(nul.byteOffset) +
            (nul.maybeUtf16 ? u")。テキストファイルではないか、バイト順マークのない UTF-16 です"
                            : u")。テキストファイルではないか、壊れています"));
  }
  RuntimeError operator()(const textFiles::EucJpText&) const {
    return PathError(kErrInvalidArgument, path,
                     u"EUC-JP のファイルは読めません (iconv -f EUC-JP -t UTF-8 で変換できます)");
  }
  RuntimeError operator()(const textFiles::Iso2022JpText& jis) const {
    return PathError(kErrInvalidArgument, path,
                     u"ISO-2022-JP (JIS) のファイルは読めません (オフセット " +
                         Decimal(jis.byteOffset) +
                         u" にエスケープシーケンス。iconv -f ISO-2022-JP -t UTF-8 で変換できます)");
  }
  RuntimeError operator()(const textFiles::MixedEncodings& mixed) const {
    std::u16string detail = u"UTF-8 とコードページ 932 が混ざっています (オフセット ";
    detail += Decimal(mixed.byteOffset);
    detail += u" から ";
    detail += EncodingName(mixed.second);
    detail += u")";
    return PathError(kErrInvalidArgument, path, detail);
  }
  RuntimeError operator()(const textFiles::NotJapaneseText& text) const {
    return PathError(
        kErrInvalidArgument, path,
        u"UTF-8 でもコードページ 932 の日本語でもありません (UTF-8 としてはオフセット " +
            Decimal(text.byteOffset) +
            u" から読めません。ほかのエンコーディングなら iconv で UTF-8 に変換できます)");
  }
  RuntimeError operator()(const textFiles::NoByteOrderMark&) const {
    return PathError(kErrInvalidArgument, path, u"UTF-16 のバイト順マークがありません");
  }
  RuntimeError operator()(const textFiles::UnencodableText& unencodable) const {
    const std::string hex = textCodec::CodePointText(unencodable.where.codePoint);
    std::u16string detail = Decimal(unencodable.where.line);
    detail += u" 行目 ";
    detail += Decimal(unencodable.where.column);
    detail += u" 文字目の ";
    detail += AsciiText(hex);
    // A Latin name stands apart from the Japanese around it.
    detail += unencodable.encoding == textCodec::Encoding::Cp932 ? u" は" : u" は ";
    detail += EncodingName(unencodable.encoding);
    detail += u" で保存できない文字です";
    return PathError(kErrInvalidArgument, path, detail);
  }
};

RuntimeError Described(const textFiles::FileError& error, std::u16string_view path) {
  return std::visit(DescribedProblem{path}, error.What());
}

// Where a piece of text may end: never inside a CR LF or a surrogate pair.
std::size_t PieceEnd(std::u16string_view text, std::size_t start) {
  std::size_t end = std::min(text.size(), start + kWritePieceUnits);
  if (end < text.size() && (text[end - 1] == u'\r' || textCodec::IsHighSurrogate(text[end - 1]))) {
    ++end;
  }
  return end;
}

// Code page 932 files get CR LF after the text whatever it ends with, as the
// window has always written them. UTF-8 files end with exactly one line
// break, so that loading, converting and saving again keeps their length.
bool EndsWithBreakAlways(const textFiles::WriteFormat& format) {
  return format.encoding == textCodec::Encoding::Cp932;
}

bool EndsWithLineBreak(std::u16string_view text) {
  return text.ends_with(u'\n') || text.ends_with(u'\r');
}

}  // namespace

std::u16string LoadTextFile(std::u16string_view path, const textFiles::Progress& progress) {
  const std::string name = FileSystemName(path);
  try {
    std::u16string text =
        textFiles::ReadTextFile(name, {textFiles::InputEncoding::Auto, true}, progress);
    if (!text.empty() && !text.ends_with(u"\r\n")) {
      text += u"\r\n";
    }
    return text;
  } catch (const textFiles::FileError& error) {
    if (std::holds_alternative<textFiles::SystemFailure>(error.What())) {
      Throw(Described(error, path));
    }
    throw RefusedFileException(Described(error, path));
  }
}

TextFileWriter::TextFileWriter() = default;
TextFileWriter::~TextFileWriter() = default;

void TextFileWriter::Create(std::u16string_view path, SaveFormat format) {
  file_.reset();
  failure_.reset();
  path_ = path;
  format_ = format == SaveFormat::Cp932 ? textFiles::WriteFormat{textCodec::Encoding::Cp932, true}
                                        : textFiles::WriteFormat{textCodec::Encoding::Utf8, false};
  try {
    file_ = std::make_unique<textFiles::FileWriter>(FileSystemName(path),
                                                    textFiles::WriteOptions{true});
  } catch (const textFiles::FileError& error) {
    failure_ = Described(error, path_);
    Throw(*failure_);
  } catch (const RuntimeErrorException& e) {
    failure_ = e.Error();
    throw;
  }
}

void TextFileWriter::WriteText(std::u16string_view text, const textFiles::Progress& progress) {
  if (failure_) {
    Throw(*failure_);
  }
  if (!file_) {
    Fail(PathError(kErrInvalidArgument, path_, u"ファイルが作られていません"));
  }
  if (const auto at = textCodec::FindUnencodable(format_.encoding, text)) {
    const textFiles::UnencodableText unencodable{
        format_.encoding, textCodec::Locate(text, *at), 1, {}};
    Fail(Described(textFiles::FileError(unencodable), path_));
  }
  try {
    std::string bytes;
    for (std::size_t start = 0; start < text.size();) {
      const std::size_t end = PieceEnd(text, start);
      bytes.clear();
      textFiles::EncodeText(text.substr(start, end - start), format_, bytes);
      file_->Write(bytes);
      start = end;
      if (progress) {
        progress(start, text.size());
      }
    }
    if (EndsWithBreakAlways(format_) || !EndsWithLineBreak(text)) {
      file_->Write(format_.crlf ? "\r\n" : "\n");
    }
  } catch (const textFiles::FileError& error) {
    Fail(Described(error, path_));
  }
}

void TextFileWriter::Close() {
  if (failure_ || !file_) {
    file_.reset();
    return;
  }
  try {
    file_->Commit();
  } catch (const textFiles::FileError& error) {
    Fail(Described(error, path_));
  }
  file_.reset();
}

void TextFileWriter::Fail(RuntimeError error) {
  failure_ = error;
  file_.reset();
  Throw(std::move(error));
}

}  // namespace mdlPokoConv
