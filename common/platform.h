// The few services of the desktop that the window, its handlers and the common
// routines rely on, with the values the Windows originals used. The program
// reaches them only through Services, so tests can stand in for the person
// answering message boxes and file dialogs. Plain C++: the Qt implementation
// is ui/qtPlatform.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Message box styles and answers.
inline constexpr int kMsgBoxOkOnly = 0;               // OK only, no icon
inline constexpr int kMsgBoxQuestionYesNo = 36;       // question icon, Yes (default) and No
inline constexpr int kMsgBoxExclamationOkOnly = 48;   // OK, warning icon
inline constexpr int kMsgBoxErrorSystemModal = 4112;  // OK, error icon, above every window
inline constexpr int kAnswerOk = 1;
inline constexpr int kAnswerYes = 6;
inline constexpr int kAnswerNo = 7;

// Screen mouse pointers.
inline constexpr int kPointerDefault = 0;
inline constexpr int kPointerHourglass = 11;

// File dialog options.
inline constexpr std::uint32_t OFN_HIDEREADONLY = 4;
inline constexpr std::uint32_t OFN_FILEMUSTEXIST = 4096;

// What a file dialog is asked to show and where it leaves the chosen path.
// Unlike the Windows record there is no fixed-size buffer: a path of any length
// goes in and comes back whole.
struct OpenFileName {
  std::int32_t hwndOwner = 0;
  std::int32_t hInstance = 0;
  std::u16string lpstrFilter;  // description NUL pattern NUL ... NUL
  std::u16string lpstrFile;    // in: the initial file name; out: the chosen path
  std::u16string lpstrTitle;
  std::uint32_t Flags = 0;
  std::uint32_t nFilterIndex = 1;  // in: the filter shown first; out: the one chosen (from 1)
};

class Services {
 public:
  virtual ~Services() = default;

  // Shows a modal message box and returns the answer (kAnswerOk, kAnswerYes,
  // kAnswerNo).
  virtual int MsgBox(std::u16string_view prompt, int style, std::u16string_view title) = 0;

  // Sets the mouse pointer shown over the program's windows.
  virtual void SetMousePointer(int pointer) = 0;

  // The open and save dialogs: nonzero when a file was chosen (its path is
  // then in lpstrFile), 0 when cancelled or when the dialog failed.
  virtual std::int32_t GetOpenFileName(OpenFileName& ofn) = 0;
  virtual std::int32_t GetSaveFileName(OpenFileName& ofn) = 0;

  // The program's instance handle; a window knows its own handle.
  virtual std::int32_t InstanceHandle() = 0;

  // Ends the program at once.
  virtual void EndProgram() = 0;
};

}  // namespace platform
