#include "main_frm.h"

#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QSettings>
#include <QSignalBlocker>
#include <exception>

#include "dialogs.h"
#include "engine/store/machine.h"
#include "error_display.h"
#include "help/win_help.h"
#include "look.h"
#include "pages/boot_page.h"
#include "pages/misc_page.h"
#include "pages/network_page.h"
#include "pages/startup_page.h"
#include "pages/uninstall_page.h"
#include "pages/useful_page.h"
#include "program.h"

namespace frambul::ui {
namespace {

QString ToQ(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

// A top-level window of its own, with its own task-bar entry; the dialogs stay dialogs.
TMainFrm::TMainFrm(store::Machine& machine, HelpCall help, ErrorSink showError)
    : QDialog(nullptr, Qt::Window),
      machine_(machine),
      cycle_(machine, form_),
      help_(help ? std::move(help) : HelpCall(WinHelp)),
      showError_(showError ? std::move(showError) : ErrorSink(ShowError)),
      context_{ui, form_, cycle_, machine_, *this, [this](const std::function<void()>& handler) { Run(handler); },
               [this] { return ChooseProgram(); }} {
  ui.setupUi(this);
  DressForm(*this, QSize(578, 372));

  // Qt's file dialogs keep their history and layout in the user's
  // QtProject.conf, rewritten whenever a dialog is destroyed. The program keeps
  // no settings of its own, so that file is sought in a folder that cannot be;
  // set before any file dialog exists.
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/dev/null"));

  // The window's own binding first: a page's handler of a settings control
  // then sees the control's new state.
  BindSettingsControls();
  pages_.push_back(std::make_unique<TMiscPage>(context_));
  pages_.push_back(std::make_unique<TUsefulPage>(context_));
  pages_.push_back(std::make_unique<TBootPage>(context_));
  auto startup = std::make_unique<TStartupPage>(context_);
  startupPage_ = startup.get();
  pages_.push_back(std::move(startup));
  pages_.push_back(std::make_unique<TNetworkPage>(context_));
  pages_.push_back(std::make_unique<TUninstallPage>(context_));

  connect(ui.OkBtn, &QPushButton::clicked, this, [this] { Run([this] { OkBtnClick(); }); });
  connect(ui.BitBtn2, &QPushButton::clicked, this, [this] { Run([this] { BitBtn2Click(); }); });
  connect(ui.BitBtn3, &QPushButton::clicked, this, [this] { Run([this] { BitBtn3Click(); }); });
  connect(ui.BitBtn4, &QPushButton::clicked, this, [this] { Run([this] { BitBtn4Click(); }); });
  connect(ui.BitBtn5, &QPushButton::clicked, this, [this] { Run([this] { BitBtn5Click(); }); });

  // Key preview: key releases anywhere in the window reach FormKeyUp first.
  qApp->installEventFilter(this);
  FormCreate();
}

TMainFrm::~TMainFrm() { qApp->removeEventFilter(this); }

template <class Widget>
Widget* TMainFrm::Control(const char* name) {
  auto* widget = findChild<Widget*>(QLatin1String(name));
  // The form and the table of settings controls name the same controls.
  if (widget == nullptr) throw std::logic_error(std::string("the form has no control ") + name);
  return widget;
}

void TMainFrm::BindSettingsControls() {
  engine::ForEachSettingsControl(form_, [this](const char* name, engine::Group, auto& state) { Bind(name, state); });
}

// Widgets change their states only on the user's doing: the program sets them
// with signals blocked. A control the load never reached stays disabled.
void TMainFrm::Bind(const char* name, engine::CheckBox& state) {
  auto* box = Control<QCheckBox>(name);
  // The mark follows every change the user makes, by mouse or keyboard, so a
  // change is never dropped and two changes cancel out.
  connect(box, &QCheckBox::toggled, this, [this, &state](bool checked) {
    Run([&state, checked] {
      state.Checked = checked;
      state.Tag = 1 - state.Tag;
    });
  });
  shows_.push_back([box, &state] {
    QSignalBlocker quiet(box);
    box->setChecked(state.Checked);
    box->setEnabled(state.Enabled && state.Loaded);
  });
}

void TMainFrm::Bind(const char* name, engine::Edit& state) {
  auto* edit = Control<QLineEdit>(name);
  // A change of the text without a key (a paste through the context menu) is
  // marked too, so that no change is dropped.
  connect(edit, &QLineEdit::textChanged, this, [this, &state](const QString& text) {
    Run([&state, text] {
      state.Text = text.toStdString();
      state.Tag = 1;
    });
  });
  keyUpEdits_[edit] = &state;
  shows_.push_back([edit, &state] {
    QSignalBlocker quiet(edit);
    if (edit->text() != ToQ(state.Text)) edit->setText(ToQ(state.Text));
    edit->setEnabled(state.Enabled && state.Loaded);
  });
}

void TMainFrm::Bind(const char* name, engine::TrackBar& state) {
  auto* slider = Control<QSlider>(name);
  shows_.push_back([slider, &state] {
    QSignalBlocker quiet(slider);
    slider->setValue(state.Position);
    if (!state.Hint.empty()) slider->setToolTip(ToQ(state.Hint));
    slider->setEnabled(state.Enabled && state.Loaded);
  });
}

void TMainFrm::Bind(const char* name, engine::ComboBox& state) {
  auto* list = Control<QComboBox>(name);
  shows_.push_back([list, &state] {
    QSignalBlocker quiet(list);
    list->setCurrentIndex(state.ItemIndex);
    list->setEnabled(state.Enabled && state.Loaded);
  });
}

void TMainFrm::Run(const std::function<void()>& handler) {
  QString failure;
  try {
    handler();
  } catch (const std::exception& error) {
    failure = QString::fromUtf8(error.what());
    showError_(isVisible() ? this : nullptr, failure);
  }
  try {
    machine_.Flush();
  } catch (const std::exception& error) {
    // A failed write that ended the handler is not told twice.
    if (QString::fromUtf8(error.what()) != failure) showError_(isVisible() ? this : nullptr, QString::fromUtf8(error.what()));
  }
  ShowStates();
}

void TMainFrm::ShowStates() {
  for (const auto& show : shows_) show();
  for (const auto& page : pages_) page->Show();
}

// Builds OpenPrgDlg at its first use: it costs more than the rest of the
// window (it reads the MIME database and looks up its file pictures), and most
// runs never need it. Kept afterwards, it shows the last chosen file again.
QString TMainFrm::ChooseProgram() {
  if (OpenPrgDlg == nullptr) {
    OpenPrgDlg = new QFileDialog(this, QStringLiteral("Выбор Программы"));
    OpenPrgDlg->setObjectName("OpenPrgDlg");
    OpenPrgDlg->setOption(QFileDialog::DontUseNativeDialog);
    OpenPrgDlg->setOption(QFileDialog::HideNameFilterDetails);
    OpenPrgDlg->setFileMode(QFileDialog::AnyFile);
    OpenPrgDlg->setAcceptMode(QFileDialog::AcceptOpen);
    OpenPrgDlg->setNameFilters({QStringLiteral("Программы (*.Exe *.Com *.Bat)"), QStringLiteral("Все Файлы (*)")});
    OpenPrgDlg->setDirectory(QString::fromStdString(machine_.HostPath("C:\\")));
  }
  if (OpenPrgDlg->exec() != QDialog::Accepted || OpenPrgDlg->selectedFiles().isEmpty()) return {};
  return OpenPrgDlg->selectedFiles().first();
}

void TMainFrm::FormCreate() {
  Run([this] { cycle_.FormCreate(); });
  startupPage_->SizeColumns();
  startupPage_->Loaded();
}

void TMainFrm::OkBtnClick() {
  cycle_.OkBtnClick();
  done(1);
}

void TMainFrm::BitBtn2Click() {
  // The window closes even when earlier writes still cannot reach the disk;
  // the error is shown all the same.
  try {
    cycle_.BitBtn2Click();
  } catch (...) {
    done(2);
    throw;
  }
  done(2);
}

void TMainFrm::BitBtn3Click() {
  if (!help_(this, kHelpFile, HELP_CONTENTS, QString())) return;
  QString macro = QStringLiteral("JumpID(\"\",\"%1\")").arg(ui.PageControl1->currentWidget()->objectName());
  help_(this, kHelpFile, HELP_COMMAND, macro.left(255));
}

void TMainFrm::BitBtn4Click() { AboutFrm->exec(); }

void TMainFrm::BitBtn5Click() { LinksFrm->exec(); }

void TMainFrm::FormKeyUp(int key) {
  if (key == Qt::Key_F1) help_(this, kHelpFile, HELP_FINDER, QString());
}

bool TMainFrm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyRelease) {
    auto* key = static_cast<QKeyEvent*>(event);
    // The application sees the event at every widget it passes on its way up;
    // the window previews it once, at the widget that received it first.
    QWidget* receiver = QApplication::focusWidget();
    if (!receiver) receiver = QApplication::activeWindow();
    if (!key->isAutoRepeat() && watched == receiver && receiver->window() == this) {
      Run([this, code = key->key()] { FormKeyUp(code); });
    }
    // RegKeyUp: any key released in a settings edit marks it.
    if (auto edit = keyUpEdits_.find(watched); edit != keyUpEdits_.end() && !key->isAutoRepeat()) {
      Run([state = edit->second] { state->Tag = 1; });
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TMainFrm::keyPressEvent(QKeyEvent* event) {
  // Esc presses "Отмена"; the close box closes the window without it.
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    ui.BitBtn2->click();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace frambul::ui
