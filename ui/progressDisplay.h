// A modal progress dialog over the window for a command that holds the one
// thread while it works on a large text.
#pragma once

#include <QElapsedTimer>
#include <memory>
#include <string>
#include <string_view>

#include "qtControls.h"

class QProgressDialog;
class QWidget;

namespace qtPlatform {

class ProgressDialog;

// Appears only once the work has run for about half a second with more of it
// to come; until then it costs nothing and shows nothing. It has no cancel
// button and cannot be closed: the command always runs to its end, and the
// window takes no input meanwhile.
class ProgressDisplay {
 public:
  ProgressDisplay(QWidget& owner, std::u16string_view title, std::u16string_view label,
                  int delayMs = kDelayMs);
  ~ProgressDisplay();
  ProgressDisplay(const ProgressDisplay&) = delete;
  ProgressDisplay& operator=(const ProgressDisplay&) = delete;

  // Reports for the stretch of the work from firstPercent to lastPercent.
  textFiles::Progress Part(int firstPercent, int lastPercent);

  // The dialog once it shows, else null.
  QProgressDialog* Dialog() const;

 private:
  static constexpr int kDelayMs = 500;

  void Show(int percent);

  QWidget& owner_;
  const std::u16string title_;
  const std::u16string label_;
  const int delayMs_;
  QElapsedTimer started_;
  int percent_ = -1;
  std::unique_ptr<ProgressDialog> dialog_;
};

}  // namespace qtPlatform
