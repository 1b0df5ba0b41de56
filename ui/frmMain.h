// The program's one window: the source text above, the converted text below,
// a label over each, and the menus. The chosen style and flags live only in
// the check marks of the Options items and are read from them when needed.
#pragma once

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QWidget>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mdlPokoConv.h"
#include "platform.h"
#include "qtControls.h"

class QCloseEvent;
class QEvent;
class QSessionManager;

class frmMain : public QMainWindow {
  Q_OBJECT

 public:
  // Why the window is closing, as passed to Form_QueryUnload.
  static constexpr int kUnloadFromControlMenu = 0;  // close button, system menu, Alt+F4
  static constexpr int kUnloadFromCode = 1;         // the 終了 command
  static constexpr int kUnloadFromSession = 2;      // the desktop session is ending

  // The window in its state at start: style 0 with flags 1 and 2 checked,
  // every item enabled, both boxes empty. Not yet shown.
  explicit frmMain(platform::Services& services, QWidget* parent = nullptr);

  // The index of the first checked style item, 0 when none is checked.
  int SpeechStyle() const;
  // Whether flag item k (0 to 3) is checked, enabled or not.
  bool ConversionFlag(int k) const;

  // What the File menu handlers work with. The texts cross as CR LF.
  platform::Services& Services() const { return services_; }
  void SetSourceText(std::u16string_view text, const textFiles::Progress& progress = {}) {
    txtSource.SetText(text, progress);
  }
  std::u16string ConvertedText(const textFiles::Progress& progress = {}) const {
    return txtPokoryun.Text(progress);
  }
  std::int32_t WindowHandle() const;
  std::int32_t InstanceHandle() const { return services_.InstanceHandle(); }

  void mnuFileOpen_Click();
  void mnuFileSave_Click();
  void mnuFileEnd_Click();
  void mnuConvExec_Click();
  void mnuOptDepth_Click(int index);
  void mnuOptConv_Click(int index);
  void mnuHelpAbout_Click();
  void Form_Resize();
  void Form_QueryUnload(bool& cancel, int unloadMode);
  void Form_Unload();

  // The desktop session is ending and the user may be asked: asks the close
  // question and ends the program on Yes. True when the user refused.
  bool QuerySessionEnd();

  // The client area (inside the border, below the menu bar) and its controls.
  QWidget client;
  std::array<QLabel, 2> lblMain;
  qtPlatform::TextBox txtSource;
  qtPlatform::TextBox txtPokoryun;

  QMenu mnuFile;
  QAction mnuFileOpen;
  QAction mnuFileSave;
  QAction mnuFileSeparate;
  QAction mnuFileEnd;
  QMenu mnuConv;
  QAction mnuConvExec;
  QMenu mnuOpt;
  std::array<QAction, 6> mnuOptDepth;
  QAction mnuOptSeparate;
  std::array<QAction, 4> mnuOptConv;
  QMenu mnuHelp;
  QAction mnuHelpAbout;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  mdlPokoConv::BrowseRequest TextFileRequest(std::u16string_view title,
                                             std::u16string_view filter) const;
  void SetUpClientArea();
  void SetUpMenus();
  void SetUpShortcutKeys();
  std::vector<const QAction*> ItemsWithShortcuts() const;
  void SetCommandCaptions(int style);
  void SizeClientArea();
  void Session_CommitData(QSessionManager& manager);

  platform::Services& services_;
  qtPlatform::MenuShortcutKeys shortcutKeys_;
};
