#pragma once
// The main window: six pages of settings and a column of buttons. The widgets
// show the states of engine::MainForm; the cycle reads and writes those states
// only, and every event handler runs through one wrapper (`Run`) that shows an
// escaping error and then writes the registry to disk.

#include <QDialog>
#include <QPixmap>
#include <functional>
#include <vector>

#include "engine/cycle.h"
#include "engine/main_form.h"
#include "ui_TMainFrm.h"

class QCheckBox;
class QFileDialog;
class QLineEdit;
class QMenu;
class QSlider;

namespace frambul::ui {

class TMainFrm : public QDialog {
  Q_OBJECT

 public:
  // The platform's help call: owner window, help file, command, data.
  using HelpCall = std::function<bool(QWidget*, const QString&, unsigned, const QString&)>;
  // How an error reaches the user; the error box unless a test listens.
  using ErrorSink = std::function<void(QWidget*, const QString&)>;

  // Builds the window and runs the load before it is shown.
  explicit TMainFrm(store::Machine& machine, HelpCall help = {}, ErrorSink showError = {});
  ~TMainFrm() override;

  const engine::MainForm& State() const { return form_; }
  QFileDialog* OpenPrgDlg = nullptr;
  QMenu* StartUpMnu = nullptr;
  std::vector<QPixmap> StartUpImgLst;

  // Event handlers.
  void FormCreate();
  void OkBtnClick();
  void BitBtn2Click();
  void BitBtn3Click();
  void BitBtn4Click();
  void BitBtn5Click();
  void BitBtn6Click();
  void FormKeyUp(int key);
  void RegClick(QCheckBox* sender, bool checked);
  void RegKeyUp(QLineEdit* sender);
  void RegTextChanged(QLineEdit* sender, const QString& text);
  void MenuShowDelayTrkChange(int position);
  void BootMultiChkClick();
  void MinCacheTrkEnter();
  void MaxCacheTrkEnter();
  void TTLCbxChange(int index);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // Runs one event handler: an error it raises is shown, and the registry is
  // written to disk afterwards in any case, so that what was written before
  // an error stays written. The widgets then show the states again.
  void Run(const std::function<void()>& handler);
  void Bind();
  void ShowStates();
  void SizeStartUpColumns();
  engine::CheckBox& StateOf(QCheckBox* box);
  engine::Edit& StateOf(QLineEdit* edit);

  Ui::TMainFrm ui;
  store::Machine& machine_;
  engine::MainForm form_;
  engine::LoadApplyCycle cycle_;
  HelpCall help_;
  ErrorSink showError_;
  std::vector<std::pair<QCheckBox*, engine::CheckBox engine::MainForm::*>> checks_;
  std::vector<std::pair<QLineEdit*, engine::Edit engine::MainForm::*>> edits_;
  std::vector<std::pair<QSlider*, engine::TrackBar engine::MainForm::*>> tracks_;
};

}  // namespace frambul::ui
