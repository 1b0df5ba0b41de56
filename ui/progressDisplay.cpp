#include "progressDisplay.h"

#include <QCloseEvent>
#include <QProgressDialog>
#include <QString>
#include <QWidget>
#include <algorithm>

namespace qtPlatform {

// Escape, the close button and Alt+F4 would hide the dialog and leave the
// window open to input while the work goes on; they are ignored.
class ProgressDialog : public QProgressDialog {
 public:
  using QProgressDialog::forceShow;
  using QProgressDialog::QProgressDialog;

  void reject() override {}

 protected:
  void closeEvent(QCloseEvent* event) override { event->ignore(); }
};

namespace {

constexpr int kFullPercent = 100;

}  // namespace

ProgressDisplay::ProgressDisplay(QWidget& owner, std::u16string_view title,
                                 std::u16string_view label, int delayMs)
    : owner_(owner), title_(title), label_(label), delayMs_(delayMs) {
  started_.start();
}

ProgressDisplay::~ProgressDisplay() = default;

textFiles::Progress ProgressDisplay::Part(int firstPercent, int lastPercent) {
  return [this, firstPercent, lastPercent](std::uint64_t done, std::uint64_t total) {
    const double fraction =
        total == 0 ? 1.0 : static_cast<double>(std::min(done, total)) / static_cast<double>(total);
    Show(firstPercent + static_cast<int>(fraction * (lastPercent - firstPercent)));
  };
}

QProgressDialog* ProgressDisplay::Dialog() const {
  return dialog_.get();
}

void ProgressDisplay::Show(int percent) {
  if (percent == percent_) {
    return;
  }
  percent_ = percent;
  if (dialog_ == nullptr) {
    if (percent >= kFullPercent || started_.elapsed() < delayMs_) {
      return;
    }
    dialog_ = std::make_unique<ProgressDialog>(
        ToQString(label_), QString(), 0, kFullPercent, &owner_,
        Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    dialog_->setWindowTitle(ToQString(title_));
    dialog_->setMinimumWidth(WidthForTitle(*dialog_));
    dialog_->setCancelButton(nullptr);
    dialog_->setWindowModality(Qt::WindowModal);
    dialog_->setAutoReset(false);
    dialog_->setAutoClose(false);
    // Shown now; from then on every new value lets it be painted.
    dialog_->forceShow();
  }
  dialog_->setValue(percent);
}

}  // namespace qtPlatform
