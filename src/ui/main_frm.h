#pragma once
// The main window: six pages of settings and a column of buttons. The widgets
// show the states of engine::MainForm; the cycle reads and writes those states
// only, and every event handler runs through one wrapper (`Run`) that shows an
// escaping error and then writes the machine's files to disk. The window binds
// the settings controls of all pages from one table; each page has an adapter
// of its own for the rest (pages/).

#include <QDialog>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "engine/cycle.h"
#include "engine/main_form.h"
#include "pages/page.h"
#include "ui_TMainFrm.h"

class QFileDialog;
class QLineEdit;

namespace frambul::ui {

class TStartupPage;

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
  // The file-open dialog, made at its first use and kept from then on.
  QFileDialog* OpenPrgDlg = nullptr;

  // Event handlers of the window itself.
  void FormCreate();
  void OkBtnClick();
  void BitBtn2Click();
  void BitBtn3Click();
  void BitBtn4Click();
  void BitBtn5Click();
  void FormKeyUp(int key);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // Runs one event handler: an error it raises is shown, and the machine's
  // files are written to disk afterwards in any case, so that what was written
  // before an error stays written. The widgets then show the states again.
  void Run(const std::function<void()>& handler);
  // Binds every settings control of the table to its widget, found by name.
  void BindSettingsControls();
  void Bind(const char* name, engine::CheckBox& state);
  void Bind(const char* name, engine::Edit& state);
  void Bind(const char* name, engine::TrackBar& state);
  void Bind(const char* name, engine::ComboBox& state);
  template <class Widget>
  Widget* Control(const char* name);
  void ShowStates();
  QString ChooseProgram();

  Ui::TMainFrm ui;
  store::Machine& machine_;
  engine::MainForm form_;
  engine::LoadApplyCycle cycle_;
  HelpCall help_;
  ErrorSink showError_;
  PageContext context_;
  std::vector<std::unique_ptr<TPage>> pages_;
  TStartupPage* startupPage_ = nullptr;
  // How each settings control's widget shows its state.
  std::vector<std::function<void()>> shows_;
  // The settings edits, marked by any key released in them.
  std::map<QObject*, engine::Edit*> keyUpEdits_;
};

}  // namespace frambul::ui
