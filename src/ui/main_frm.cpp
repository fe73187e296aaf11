#include "main_frm.h"

#include <QApplication>
#include <QFileDialog>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QSignalBlocker>
#include <exception>

#include "dialogs.h"
#include "engine/boot_options.h"
#include "engine/store/machine.h"
#include "error_display.h"
#include "help/win_help.h"
#include "look.h"
#include "program.h"

namespace frambul::ui {
namespace {

using engine::MainForm;

QString ToQ(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

TMainFrm::TMainFrm(store::Machine& machine, HelpCall help, ErrorSink showError)
    : machine_(machine),
      cycle_(machine, form_),
      help_(help ? std::move(help) : HelpCall(WinHelp)),
      showError_(showError ? std::move(showError) : ErrorSink(ShowError)) {
  ui.setupUi(this);
  DressForm(*this, QSize(578, 372));

  OpenPrgDlg = new QFileDialog(this, QStringLiteral("Выбор Программы"));
  OpenPrgDlg->setObjectName("OpenPrgDlg");
  OpenPrgDlg->setOption(QFileDialog::DontUseNativeDialog);
  OpenPrgDlg->setOption(QFileDialog::HideNameFilterDetails);
  OpenPrgDlg->setFileMode(QFileDialog::AnyFile);
  OpenPrgDlg->setAcceptMode(QFileDialog::AcceptOpen);
  OpenPrgDlg->setNameFilters({QStringLiteral("Программы (*.Exe *.Com *.Bat)"), QStringLiteral("Все Файлы (*)")});
  OpenPrgDlg->setDirectory(QString::fromStdString(machine_.HostPath("C:\\")));

  StartUpMnu = new QMenu(this);
  StartUpMnu->setObjectName("StartUpMnu");
  auto separator = [this](const char* name) { StartUpMnu->addSeparator()->setObjectName(name); };
  StartUpMnu->addAction(ui.N1);
  StartUpMnu->setDefaultAction(ui.N1);
  separator("N2");
  // The three sources are radio items of one group (SourceMnuGroup).
  StartUpMnu->addActions({ui.RegMnuItem, ui.RegPersMnuItem, ui.WinIniMnuItem});
  separator("N5");
  StartUpMnu->addAction(ui.AddMnuItem);
  StartUpMnu->addAction(ui.DelMnuItem);
  separator("N3");
  StartUpMnu->addAction(ui.RenameMnuItem);
  StartUpMnu->addAction(ui.ComMnuItem);
  ui.StartUpLvw->header()->setSectionsMovable(false);
  ui.StartUpLvw->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(ui.StartUpLvw, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { StartUpMnu->popup(ui.StartUpLvw->viewport()->mapToGlobal(at)); });
  StartUpImgLst = {StartUpImage(0), StartUpImage(1)};

  Bind();
  FormCreate();
}

TMainFrm::~TMainFrm() { qApp->removeEventFilter(this); }

void TMainFrm::Bind() {
  checks_ = {{ui.ShortCutChk, &MainForm::ShortCutChk},   {ui.TailNumChk, &MainForm::TailNumChk},
             {ui.PasswChk, &MainForm::PasswChk},         {ui.DblClckChk, &MainForm::DblClckChk},
             {ui.BMPChk, &MainForm::BMPChk},             {ui.LogoChk, &MainForm::LogoChk},
             {ui.NetworkChk, &MainForm::NetworkChk},     {ui.AutoScanChk, &MainForm::AutoScanChk},
             {ui.BootMultiChk, &MainForm::BootMultiChk}, {ui.BootGUIChk, &MainForm::BootGUIChk},
             {ui.BootWinChk, &MainForm::BootWinChk},     {ui.BootMenuChk, &MainForm::BootMenuChk},
             {ui.BootKeysChk, &MainForm::BootKeysChk},   {ui.DblSpaceChk, &MainForm::DblSpaceChk},
             {ui.DoubleBufferChk, &MainForm::DoubleBufferChk}};
  edits_ = {{ui.RecycleEdt, &MainForm::RecycleEdt},     {ui.DefViewerEdt, &MainForm::DefViewerEdt},
            {ui.WinInstEdt, &MainForm::WinInstEdt},     {ui.BootDelayEdt, &MainForm::BootDelayEdt},
            {ui.MTUEdt, &MainForm::MTUEdt},             {ui.RWINEdt, &MainForm::RWINEdt}};
  tracks_ = {{ui.MenuShowDelayTrk, &MainForm::MenuShowDelayTrk},
             {ui.MinCacheTrk, &MainForm::MinCacheTrk},
             {ui.MaxCacheTrk, &MainForm::MaxCacheTrk}};

  // Widgets change their states only on the user's doing: the program sets
  // them with signals blocked.
  for (auto& [box, state] : checks_) {
    connect(box, &QCheckBox::toggled, this, [this, b = box](bool checked) { Run([=, this] { RegClick(b, checked); }); });
  }
  for (auto& [edit, state] : edits_) {
    connect(edit, &QLineEdit::textChanged, this,
            [this, e = edit](const QString& text) { Run([=, this] { RegTextChanged(e, text); }); });
  }
  connect(ui.MenuShowDelayTrk, &QSlider::valueChanged, this,
          [this](int position) { Run([=, this] { MenuShowDelayTrkChange(position); }); });
  connect(ui.MinCacheTrk, &QSlider::valueChanged, this, [this](int position) {
    Run([=, this] { form_.MinCacheTrk.Position = position; });
  });
  connect(ui.MaxCacheTrk, &QSlider::valueChanged, this, [this](int position) {
    Run([=, this] { form_.MaxCacheTrk.Position = position; });
  });
  connect(ui.TTLCbx, &QComboBox::activated, this, [this](int index) { Run([=, this] { TTLCbxChange(index); }); });

  connect(ui.OkBtn, &QPushButton::clicked, this, [this] { Run([this] { OkBtnClick(); }); });
  connect(ui.BitBtn2, &QPushButton::clicked, this, [this] { Run([this] { BitBtn2Click(); }); });
  connect(ui.BitBtn3, &QPushButton::clicked, this, [this] { Run([this] { BitBtn3Click(); }); });
  connect(ui.BitBtn4, &QPushButton::clicked, this, [this] { Run([this] { BitBtn4Click(); }); });
  connect(ui.BitBtn5, &QPushButton::clicked, this, [this] { Run([this] { BitBtn5Click(); }); });
  connect(ui.BitBtn6, &QPushButton::clicked, this, [this] { Run([this] { BitBtn6Click(); }); });

  // Key preview: key releases anywhere in the window reach FormKeyUp first.
  qApp->installEventFilter(this);
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
  for (auto& [box, state] : checks_) {
    const engine::CheckBox& check = form_.*state;
    QSignalBlocker quiet(box);
    box->setChecked(check.Checked);
    box->setEnabled(check.Enabled);
  }
  for (auto& [edit, state] : edits_) {
    const engine::Edit& text = form_.*state;
    QSignalBlocker quiet(edit);
    if (edit->text() != ToQ(text.Text)) edit->setText(ToQ(text.Text));
    edit->setEnabled(text.Enabled);
  }
  for (auto& [slider, state] : tracks_) {
    const engine::TrackBar& track = form_.*state;
    QSignalBlocker quiet(slider);
    slider->setValue(track.Position);
    slider->setEnabled(track.Enabled);
  }
  QSignalBlocker quiet(ui.TTLCbx);
  ui.TTLCbx->setCurrentIndex(form_.TTLCbx.ItemIndex);
  ui.TTLCbx->setEnabled(form_.TTLCbx.Enabled);
}

engine::CheckBox& TMainFrm::StateOf(QCheckBox* box) {
  for (auto& [widget, state] : checks_) {
    if (widget == box) return form_.*state;
  }
  throw std::logic_error("unbound check box");
}

engine::Edit& TMainFrm::StateOf(QLineEdit* edit) {
  for (auto& [widget, state] : edits_) {
    if (widget == edit) return form_.*state;
  }
  throw std::logic_error("unbound edit");
}

void TMainFrm::FormCreate() {
  Run([this] { cycle_.FormCreate(); });
  SizeStartUpColumns();
}

void TMainFrm::SizeStartUpColumns() {
  // The window is not shown yet: lay out the containers down to the list,
  // so that it has the width it will be shown with.
  std::vector<QWidget*> containers;
  for (QWidget* w = ui.StartUpLvw->parentWidget(); w != nullptr; w = w->parentWidget()) containers.push_back(w);
  for (auto w = containers.rbegin(); w != containers.rend(); ++w) {
    if ((*w)->layout() != nullptr) (*w)->layout()->activate();
  }
  QFontMetrics metrics(ui.StartUpLvw->font());
  int place = metrics.horizontalAdvance(QStringLiteral("Реестр (Личный)")) + 12;
  int run = metrics.horizontalAdvance(QStringLiteral("Запуск")) + 12;
  ui.StartUpLvw->setColumnWidth(0, ui.StartUpLvw->width() - place - run - 24);
  ui.StartUpLvw->setColumnWidth(1, run);
  ui.StartUpLvw->setColumnWidth(2, place);
}

void TMainFrm::OkBtnClick() {
  cycle_.OkBtnClick();
  done(1);
}

void TMainFrm::BitBtn2Click() {
  cycle_.BitBtn2Click();
  done(2);
}

void TMainFrm::BitBtn3Click() {
  if (!help_(this, kHelpFile, HELP_CONTENTS, QString())) return;
  QString macro = QStringLiteral("JumpID(\"\",\"%1\")").arg(ui.PageControl1->currentWidget()->objectName());
  help_(this, kHelpFile, HELP_COMMAND, macro.left(255));
}

void TMainFrm::BitBtn4Click() { AboutFrm->exec(); }

void TMainFrm::BitBtn5Click() { LinksFrm->exec(); }

void TMainFrm::BitBtn6Click() {
  if (OpenPrgDlg->exec() != QDialog::Accepted || OpenPrgDlg->selectedFiles().isEmpty()) return;
  // The machine knows the file by its Windows path.
  std::string path = machine_.WindowsPath(OpenPrgDlg->selectedFiles().first().toStdString());
  form_.DefViewerEdt.Text = path + " \"%1\"";
  form_.DefViewerEdt.Tag = 1;
}

void TMainFrm::FormKeyUp(int key) {
  if (key == Qt::Key_F1) help_(this, kHelpFile, HELP_FINDER, QString());
}

void TMainFrm::RegClick(QCheckBox* sender, bool checked) {
  // The mark follows every change the user makes, by mouse or keyboard, so
  // a change is never dropped and two changes cancel out.
  engine::CheckBox& state = StateOf(sender);
  state.Checked = checked;
  state.Tag = 1 - state.Tag;
  if (sender == ui.BootMultiChk) BootMultiChkClick();
}

void TMainFrm::RegKeyUp(QLineEdit* sender) { StateOf(sender).Tag = 1; }

void TMainFrm::RegTextChanged(QLineEdit* sender, const QString& text) {
  engine::Edit& state = StateOf(sender);
  state.Text = text.toStdString();
  state.Tag = 1;
}

void TMainFrm::MenuShowDelayTrkChange(int position) {
  form_.MenuShowDelayTrk.Position = position;
  form_.MenuShowDelayTrk.Tag = 1;
}

void TMainFrm::BootMultiChkClick() { engine::BootMultiChkClick(form_); }

void TMainFrm::MinCacheTrkEnter() { form_.MinCacheTrk.Tag = 1; }

void TMainFrm::MaxCacheTrkEnter() { form_.MaxCacheTrk.Tag = 1; }

void TMainFrm::TTLCbxChange(int index) {
  form_.TTLCbx.ItemIndex = index;
  form_.TTLCbx.Tag = 1;
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
    if (!key->isAutoRepeat()) {
      for (auto& [edit, state] : edits_) {
        if (watched == edit) Run([this, e = edit] { RegKeyUp(e); });
      }
    }
  } else if (event->type() == QEvent::FocusIn) {
    if (watched == ui.MinCacheTrk) Run([this] { MinCacheTrkEnter(); });
    if (watched == ui.MaxCacheTrk) Run([this] { MaxCacheTrkEnter(); });
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
