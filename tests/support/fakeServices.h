// A stand-in for the desktop in tests: message boxes are recorded and answered
// from a queue, pointers and dialog calls recorded, dialogs answered from a
// queue of chosen paths, and ending the program only counted.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform.h"

struct FakeServices : platform::Services {
  struct Box {
    std::u16string prompt;
    int style = 0;
    std::u16string title;
  };
  struct DialogCall {
    bool save = false;
    platform::OpenFileName ofn;
  };

  std::vector<Box> boxes;
  // The next message boxes' answers; when empty, Yes to a question, OK otherwise.
  std::deque<int> boxAnswers;
  std::vector<int> pointers;
  std::vector<DialogCall> dialogs;
  // The next dialogs' answers: the path to choose, or nullopt to cancel.
  std::deque<std::optional<std::u16string>> dialogAnswers;
  // When nonzero, the filter that the dialogs report as chosen (from 1).
  std::uint32_t chosenFilter = 0;
  // Run when a dialog is shown, e.g. to make it fail.
  std::function<void()> onDialog;
  int endProgramCalls = 0;

  int MsgBox(std::u16string_view prompt, int style, std::u16string_view title) override {
    boxes.push_back({std::u16string(prompt), style, std::u16string(title)});
    if (!boxAnswers.empty()) {
      const int answer = boxAnswers.front();
      boxAnswers.pop_front();
      return answer;
    }
    return style == platform::kMsgBoxQuestionYesNo ? platform::kAnswerYes : platform::kAnswerOk;
  }
  void SetMousePointer(int pointer) override { pointers.push_back(pointer); }
  std::int32_t GetOpenFileName(platform::OpenFileName& ofn) override { return Answer(false, ofn); }
  std::int32_t GetSaveFileName(platform::OpenFileName& ofn) override { return Answer(true, ofn); }
  std::int32_t InstanceHandle() override { return 0x400000; }
  void EndProgram() override { ++endProgramCalls; }

 private:
  std::int32_t Answer(bool save, platform::OpenFileName& ofn) {
    dialogs.push_back({save, ofn});
    if (onDialog) {
      onDialog();
    }
    std::optional<std::u16string> answer;
    if (!dialogAnswers.empty()) {
      answer = dialogAnswers.front();
      dialogAnswers.pop_front();
    }
    if (!answer) {
      return 0;
    }
    ofn.lpstrFile = *answer;
    if (chosenFilter != 0) {
      ofn.nFilterIndex = chosenFilter;
    }
    return 1;
  }
};
