// Answers the modal dialogs that the code under test shows: while that code
// waits in the dialog's own event loop, a timer hands each visible modal
// widget to `act` until it reports that it is done.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <utility>

class ModalWatcher {
 public:
  explicit ModalWatcher(std::function<bool(QWidget& modal)> act) : act_(std::move(act)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    timer_.start(10);
    elapsed_.start();
  }

  bool Done() const { return done_; }

 private:
  static constexpr qint64 kGiveUpMs = 10000;

  void Tick() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && modal->isVisible() && act_(*modal)) {
      done_ = true;
      timer_.stop();
      return;
    }
    if (elapsed_.elapsed() > kGiveUpMs) {
      timer_.stop();
      ADD_FAILURE() << "the expected dialog was not answered in time";
      if (modal != nullptr) {
        modal->close();
      }
    }
  }

  std::function<bool(QWidget&)> act_;
  QTimer timer_;
  QElapsedTimer elapsed_;
  bool done_ = false;
};
