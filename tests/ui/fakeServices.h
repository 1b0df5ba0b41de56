// Desktop services for the window's tests: message boxes are recorded and
// answered from a queue, and ending the program is only counted.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform.h"

struct ShownBox {
  std::u16string prompt;
  int style = 0;
  std::u16string title;
};

class FakeServices final : public platform::Services {
 public:
  std::vector<ShownBox> boxes;
  std::deque<int> answers;  // when empty: Yes to a question, OK otherwise
  int endProgramCalls = 0;

  int MsgBox(std::u16string_view prompt, int style, std::u16string_view title) override {
    boxes.push_back({std::u16string(prompt), style, std::u16string(title)});
    if (!answers.empty()) {
      const int answer = answers.front();
      answers.pop_front();
      return answer;
    }
    return style == platform::kMsgBoxQuestionYesNo ? platform::kAnswerYes : platform::kAnswerOk;
  }
  void SetMousePointer(int) override {}
  std::int32_t GetOpenFileName(platform::OpenFileName&) override { return 0; }
  std::int32_t GetSaveFileName(platform::OpenFileName&) override { return 0; }
  std::int32_t WindowHandle(const QWidget* window) override { return window ? 0x100 : 0; }
  std::int32_t InstanceHandle() override { return 0x400000; }
  void EndProgram() override { ++endProgramCalls; }
};
