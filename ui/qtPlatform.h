// The desktop services over Qt Widgets: message boxes, the mouse pointer, the
// open and save dialogs, window and program handles, and the end of the
// program.
#pragma once

#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <string_view>

#include "platform.h"

namespace qtPlatform {

// Qt name filters for a list of pairs "description NUL pattern NUL", ended by
// one more NUL. Several patterns are separated by ';'. A description that
// already ends with its pattern in parentheses keeps its text; any other gets
// " (pattern)" appended. "*.*" stands for every file.
QStringList NameFiltersFrom(std::u16string_view filter);

class QtServices final : public platform::Services {
 public:
  int MsgBox(std::u16string_view prompt, int style, std::u16string_view title) override;
  void SetMousePointer(int pointer) override;
  std::int32_t GetOpenFileName(platform::OpenFileName& ofn) override;
  std::int32_t GetSaveFileName(platform::OpenFileName& ofn) override;
  std::int32_t InstanceHandle() override;
  void EndProgram() override;

 private:
  enum class DialogKind { Open, Save };
  std::int32_t RunFileDialog(platform::OpenFileName& ofn, DialogKind kind);
};

// The handle that names a window to the dialogs it owns: its native window id.
std::int32_t HandleOfWindow(const QWidget& window);
// The window a handle names, or null for 0, an unknown handle or a window
// that no longer exists.
QWidget* WindowOfHandle(std::int32_t handle);

}  // namespace qtPlatform
