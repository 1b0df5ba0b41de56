// A stand-in for the desktop: records message boxes, pointers and dialog
// calls, and answers the dialogs from a queue.
#pragma once

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
  std::vector<int> pointers;
  std::vector<DialogCall> dialogs;
  // The next dialogs' answers: the path to choose, or nullopt to cancel.
  std::deque<std::optional<std::u16string>> answers;
  // Run when a dialog is shown, e.g. to make it fail.
  std::function<void()> onDialog;

  int MsgBox(std::u16string_view prompt, int style, std::u16string_view title) override {
    boxes.push_back({std::u16string(prompt), style, std::u16string(title)});
    return platform::kAnswerOk;
  }
  void SetMousePointer(int pointer) override { pointers.push_back(pointer); }
  std::int32_t GetOpenFileName(platform::OpenFileName& ofn) override { return Answer(false, ofn); }
  std::int32_t GetSaveFileName(platform::OpenFileName& ofn) override { return Answer(true, ofn); }
  std::int32_t WindowHandle(const QWidget*) override { return 0; }
  std::int32_t InstanceHandle() override { return 0; }
  void EndProgram() override {}

 private:
  std::int32_t Answer(bool save, platform::OpenFileName& ofn) {
    dialogs.push_back({save, ofn});
    if (onDialog) {
      onDialog();
    }
    std::optional<std::u16string> answer;
    if (!answers.empty()) {
      answer = answers.front();
      answers.pop_front();
    }
    if (!answer) {
      return 0;
    }
    ofn.lpstrFile = *answer;
    return 1;
  }
};
