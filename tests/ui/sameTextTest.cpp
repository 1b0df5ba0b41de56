// The window and pokopen-convert read a file one way: the converter's result
// for a file is what the lower box holds after loading it and converting with
// the same style and flags, apart from the CR LF that Load adds to a last line
// that has none. Run on real documents as Linux and Windows would save them.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <cstdio>
#include <string>
#include <vector>

#include "fakeServices.h"
#include "fileTestSupport.h"
#include "frmMain.h"
#include "japaneseDocuments.h"
#include "textCodec.h"

namespace {

struct Setting {
  int style;
  std::vector<int> flagsToggled;  // from the window's start: flags 1 and 2 checked
  std::vector<std::string> args;  // the same for pokopen-convert
};

std::string ConverterOutput(const std::vector<std::string>& args, const std::string& file,
                            bool crlf = true) {
  std::string command = POKOPEN_CONVERT_PATH " --output-encoding=utf-8";
  if (crlf) {
    command += " --crlf";
  }
  for (const std::string& arg : args) {
    command += " " + arg;
  }
  command += " '" + file + "'";
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
      out.append(buffer, n);
    }
    pclose(pipe);
  }
  return out;
}

std::u16string WindowResult(const std::u16string& path, const Setting& setting) {
  FakeServices services;
  frmMain window(services);
  services.dialogAnswers.emplace_back(path);
  window.mnuFileOpen_Click();
  window.mnuOptDepth_Click(setting.style);
  for (const int flag : setting.flagsToggled) {
    window.mnuOptConv_Click(flag);
  }
  window.mnuConvExec_Click();
  EXPECT_TRUE(services.boxes.empty());
  return window.txtPokoryun.Text();
}

TEST(SameText, TheConverterGivesWhatTheWindowShows) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const auto documents = japaneseDocuments::Documents(false, 2000, 8000);
  ASSERT_GE(documents.size(), 4u);
  const std::vector<Setting> settings = {
      {1, {0, 3}, {"-s", "1", "--pokoru", "--force"}},
      {4, {3}, {"-s", "4", "--force"}},
      {0, {1, 2}, {"--no-first", "--no-second"}},
  };
  for (std::size_t d = 0; d < documents.size(); d += documents.size() / 4) {
    const std::string& linux = documents[d].bytes;
    std::string windows;
    for (const char c : linux) {
      windows += c == '\n' ? "\r\n" : std::string(1, c);
    }
    const auto cp932 = [](const std::string& utf8) {
      return textCodec::EncodeCp932(textCodec::DecodeUtf8(utf8).text).bytes;
    };
    const std::vector<std::string> files = {linux, "\xEF\xBB\xBF" + windows, cp932(windows),
                                            cp932(linux)};
    for (std::size_t f = 0; f < files.size(); ++f) {
      if (files[f].empty()) {
        continue;  // not every document has a code page 932 form
      }
      const std::string path = QDir(folder.path()).filePath(u"doc.txt"_qs).toStdString();
      fileTestSupport::WriteBytes(path, files[f]);
      for (const Setting& setting : settings) {
        std::u16string expected = textCodec::DecodeUtf8(ConverterOutput(setting.args, path)).text;
        if (!expected.empty() && !expected.ends_with(u"\r\n")) {
          expected += u"\r\n";
        }
        EXPECT_TRUE(WindowResult(textCodec::DecodeUtf8(path).text, setting) == expected)
            << documents[d].name << ", file " << f << ", style " << setting.style;
      }
    }
  }
}

// Loaded, converted and saved as UTF-8, a document that ends with a line
// break is byte for byte what pokopen-convert writes: no second break.
TEST(SameText, AUtf8SaveIsWhatTheConverterWrites) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const auto documents = japaneseDocuments::Documents(false, 2000, 8000);
  ASSERT_GE(documents.size(), 2u);
  const QDir dir(folder.path());
  const std::string source = dir.filePath(u"doc.txt"_qs).toStdString();
  const std::string target = dir.filePath(u"saved.txt"_qs).toStdString();
  for (std::size_t d = 0; d < documents.size(); d += documents.size() / 2) {
    ASSERT_TRUE(documents[d].bytes.ends_with('\n'));
    fileTestSupport::WriteBytes(source, documents[d].bytes);
    FakeServices services;
    services.chosenFilter = 2;
    frmMain window(services);
    services.dialogAnswers.emplace_back(textCodec::DecodeUtf8(source).text);
    window.mnuFileOpen_Click();
    window.mnuConvExec_Click();
    services.dialogAnswers.emplace_back(textCodec::DecodeUtf8(target).text);
    window.mnuFileSave_Click();
    EXPECT_TRUE(services.boxes.empty());
    EXPECT_TRUE(fileTestSupport::ReadBytes(target) == ConverterOutput({}, source, false))
        << documents[d].name;
  }
}

}  // namespace
