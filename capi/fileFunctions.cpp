// The C interface on files: reading and writing a whole text, and converting
// a file into another.
#include <cerrno>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "apiSupport.h"
#include "pokopen.h"
#include "streamConversion.h"
#include "textReader.h"
#include "textWriter.h"

using namespace pokopenApi;

namespace {

streamConversion::Settings SettingsOf(int style, unsigned flags, pokopen_encoding input,
                                      pokopen_encoding output, unsigned jobs) {
  streamConversion::Settings settings;
  settings.style = StyleOf(style);
  settings.flags = ConversionFlagsOf(flags);
  settings.inputEncoding = InputEncodingOf(input);
  settings.output.encoding = OutputEncodingOf(output);
  if (settings.output.encoding != textCodec::Encoding::Utf8 &&
      settings.output.encoding != textCodec::Encoding::Cp932) {
    FailWith(POKOPEN_ERROR_ARGUMENT, "files are written in UTF-8 or code page 932");
  }
  settings.output.crlf = (flags & POKOPEN_CRLF) != 0;
  settings.jobs = jobs;
  return settings;
}

// Keeps the one failure of a run of one source.
class FirstFailure final : public streamConversion::Observer {
 public:
  void Failed(const streamConversion::Failure& failure) override {
    // The caller knows both names; in_output tells which one failed.
    if (!error_) {
      error_ = ErrorOf(failure.problem, failure.side == streamConversion::Side::Output);
    }
  }
  const std::optional<pokopen_error>& Error() const { return error_; }

 private:
  std::optional<pokopen_error> error_;
};

void ConvertStream(const streamConversion::Source& source,
                   const streamConversion::Destination& destination,
                   const streamConversion::Settings& settings) {
  FirstFailure failure;
  const streamConversion::Outcome outcome =
      streamConversion::Convert(settings, std::span(&source, 1), destination, failure);
  if (outcome.outOfMemory) {
    throw std::bad_alloc();
  }
  if (failure.Error()) {
    throw ApiFailure{*failure.Error()};
  }
}

// Replaces the file at path with the bytes that `encode` makes, or reports
// why it could not make them.
template <typename Encode>
pokopen_status WriteEncoded(const char* path, pokopen_error* error, Encode&& encode) {
  if (path == nullptr) {
    return ReportCode(error, POKOPEN_ERROR_ARGUMENT, "path is NULL");
  }
  char* bytes = nullptr;
  size_t bytesLength = 0;
  const pokopen_status encoded = encode(&bytes, &bytesLength);
  if (encoded != POKOPEN_OK) {
    return encoded;
  }
  const std::unique_ptr<char, decltype(&pokopen_free)> owned(bytes, &pokopen_free);
  return Guarded(error, [&] {
    try {
      // Only a regular file can be replaced all at once; a pipe would block.
      textFiles::FileWriter writer(std::string(path), {.regularFilesOnly = true});
      writer.Write(std::string_view(bytes, bytesLength));
      writer.Commit();
    } catch (const textFiles::FileError& failure) {
      throw ApiFailure{ErrorOf(failure.What(), true)};
    }
  });
}

}  // namespace

extern "C" {

pokopen_status pokopen_read_text(const char* path, pokopen_encoding encoding, char** text,
                                 size_t* text_length, pokopen_encoding* found,
                                 pokopen_error* error) {
  ClearResult(text, text_length);
  ClearFound(found);
  return Guarded(error, [&] {
    RequirePointer(path, "path");
    RequirePointer(text, "text");
    RequirePointer(text_length, "text_length");
    textFiles::TextReader reader(
        std::string(path), {InputEncodingOf(encoding), true, textFiles::LineBreaks::AsTheyAre});
    std::u16string decoded;
    decoded.reserve(static_cast<std::size_t>(reader.Size()));
    while (reader.Read(decoded)) {
    }
    if (found != nullptr) {
      *found = EncodingOf(reader.Encoding().value_or(textCodec::Encoding::Utf8));
    }
    Result<char> out;
    char* room = out.Room(textCodec::MostBytes(textCodec::Encoding::Utf8, decoded.size()));
    out.Wrote(textCodec::EncodeInto(textCodec::Encoding::Utf8, decoded, room).written);
    out.Release(text, text_length);
  });
}

pokopen_status pokopen_write_text(const char* path, const char* text, size_t length,
                                  pokopen_encoding encoding, unsigned options,
                                  pokopen_error* error) {
  return WriteEncoded(path, error, [&](char** bytes, size_t* bytesLength) {
    return pokopen_encode(text, length, encoding, options, bytes, bytesLength, error);
  });
}

pokopen_status pokopen_read_text_utf16(const char* path, pokopen_encoding encoding, uint16_t** text,
                                       size_t* text_length, pokopen_encoding* found,
                                       pokopen_error* error) {
  ClearResult(text, text_length);
  ClearFound(found);
  return Guarded(error, [&] {
    RequirePointer(path, "path");
    RequirePointer(text, "text");
    RequirePointer(text_length, "text_length");
    textFiles::TextReader reader(
        std::string(path), {InputEncodingOf(encoding), true, textFiles::LineBreaks::AsTheyAre});
    Result<char16_t> out;
    std::u16string decoded;
    // Piece by piece, so that the text is held once.
    bool more = true;
    while (more) {
      more = reader.Read(decoded);
      out.Append(decoded.data(), decoded.size());
      decoded.clear();
    }
    if (found != nullptr) {
      *found = EncodingOf(reader.Encoding().value_or(textCodec::Encoding::Utf8));
    }
    char16_t* units = nullptr;
    out.Release(&units, text_length);
    *text = reinterpret_cast<uint16_t*>(units);
  });
}

pokopen_status pokopen_write_text_utf16(const char* path, const uint16_t* text, size_t length,
                                        pokopen_encoding encoding, unsigned options,
                                        pokopen_error* error) {
  return WriteEncoded(path, error, [&](char** bytes, size_t* bytesLength) {
    return pokopen_encode_utf16(text, length, encoding, options, bytes, bytesLength, error);
  });
}

pokopen_status pokopen_convert_file(const char* input_path, const char* output_path, int style,
                                    unsigned flags, pokopen_encoding input_encoding,
                                    pokopen_encoding output_encoding, unsigned jobs,
                                    pokopen_error* error) {
  return Guarded(error, [&] {
    RequirePointer(input_path, "input_path");
    RequirePointer(output_path, "output_path");
    ConvertStream(streamConversion::Source::File(input_path),
                  streamConversion::Destination::ToFile(output_path),
                  SettingsOf(style, flags, input_encoding, output_encoding, jobs));
  });
}

pokopen_status pokopen_convert_fd(int input_fd, int output_fd, int style, unsigned flags,
                                  pokopen_encoding input_encoding, pokopen_encoding output_encoding,
                                  unsigned jobs, pokopen_error* error) {
  return Guarded(error, [&] {
    if (input_fd < 0 || output_fd < 0) {
      FailWith(POKOPEN_ERROR_ARGUMENT, "a descriptor is negative");
    }
    ConvertStream(streamConversion::Source::Descriptor(input_fd),
                  streamConversion::Destination::ToDescriptor(output_fd),
                  SettingsOf(style, flags, input_encoding, output_encoding, jobs));
  });
}

}  // extern "C"
