#include "ui/help/help_window.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>

#include "ui/help/help_channel.h"
#include "ui/help/help_macro.h"
#include "ui/help/topics_dialog.h"

namespace frambul::ui::help {
namespace {

QUrl TopicUrl(const Topic& topic) { return QUrl("topic:" + QString::fromStdString(topic.id)); }

}  // namespace

TopicBrowser::TopicBrowser(const HelpFile& help, QWidget* parent) : QTextBrowser(parent), help_(help) {
  document()->setDocumentMargin(12);
  document()->setDefaultStyleSheet(
      "h1 { font-size: x-large; } h2 { font-size: large; } code { font-family: monospace; }");
}

QVariant TopicBrowser::loadResource(int /*type*/, const QUrl& name) {
  // Help text loads nothing from disk or network: only its own topics.
  if (name.scheme() != "topic") return {};
  const Topic* topic = help_.Find(name.path().toStdString());
  return topic ? QVariant(QString::fromStdString(TopicHtml(help_, *topic))) : QVariant();
}

HelpWindow::HelpWindow(HelpFile help, QString path)
    : help_(std::move(help)),
      path_(std::move(path)),
      browser_(new TopicBrowser(help_, this)),
      finder_(new TopicsDialog(help_, this)) {
  setObjectName("HelpWnd");
  setWindowTitle(help_.title.empty() ? "Справка: " + QFileInfo(path_).fileName() : QString::fromStdString(help_.title));
  browser_->setObjectName("TopicBrw");
  setCentralWidget(browser_);
  finder_->setWindowModality(Qt::WindowModal);

  QToolBar* bar = addToolBar("Переходы");
  bar->setMovable(false);
  bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  QAction* contents = bar->addAction(style()->standardIcon(QStyle::SP_DirHomeIcon), "Содержание",
                                     [this] { ShowTopic(*help_.Contents()); });
  QAction* topics = bar->addAction(style()->standardIcon(QStyle::SP_FileDialogContentsView), "Разделы...", this,
                                   &HelpWindow::OpenFinder);
  QAction* back =
      bar->addAction(style()->standardIcon(QStyle::SP_ArrowBack), "Назад", browser_, &QTextBrowser::backward);
  QAction* forward =
      bar->addAction(style()->standardIcon(QStyle::SP_ArrowForward), "Вперёд", browser_, &QTextBrowser::forward);
  contents->setObjectName("ContentsAct");
  topics->setObjectName("TopicsAct");
  back->setObjectName("BackAct");
  forward->setObjectName("ForwardAct");
  topics->setShortcut(QKeySequence::Find);
  back->setShortcut(QKeySequence::Back);
  forward->setShortcut(QKeySequence::Forward);
  back->setEnabled(false);
  forward->setEnabled(false);
  connect(browser_, &QTextBrowser::backwardAvailable, back, &QAction::setEnabled);
  connect(browser_, &QTextBrowser::forwardAvailable, forward, &QAction::setEnabled);
  connect(browser_, &QTextBrowser::sourceChanged, this, [this] { statusBar()->clearMessage(); });
  connect(finder_, &TopicsDialog::topicChosen, this, [this](const QString& id) {
    if (const Topic* topic = help_.Find(id.toStdString())) ShowTopic(*topic);
  });

  statusBar();
  resize(760, 560);
  ShowTopic(*help_.Contents());
}

QString HelpWindow::CurrentTopic() const { return browser_->source().path(); }

void HelpWindow::ShowTopic(const Topic& topic) { browser_->setSource(TopicUrl(topic)); }

void HelpWindow::OpenFinder() {
  finder_->Reset(CurrentTopic());
  finder_->open();
  finder_->raise();
}

void HelpWindow::BringToFront() {
  if (isMinimized()) {
    showNormal();
  } else {
    show();
  }
  raise();
  activateWindow();
}

QString HelpWindow::Execute(const QString& request) {
  if (request == kState) {
    return QStringLiteral("ok %1 %2 %3")
        .arg(QCoreApplication::applicationPid())
        .arg(CurrentTopic())
        .arg(finder_->isVisible() ? 1 : 0);
  }
  if (request == kQuit) {
    QTimer::singleShot(0, this, &QWidget::close);
    return "ok";
  }
  BringToFront();
  if (request == kFinder) {
    OpenFinder();
    return "ok";
  }
  // A request to show something puts the topics dialog away, so that what was asked for is in view.
  finder_->reject();
  if (request == kContents) {
    ShowTopic(*help_.Contents());
    return "ok";
  }
  if (request.startsWith(kCommand)) return RunMacro(request.mid(static_cast<int>(qstrlen(kCommand))));
  return Refuse("Непонятный запрос к справке.");
}

QString HelpWindow::RunMacro(const QString& text) {
  const std::optional<Macro> macro = ParseMacro(text.toStdString());
  if (!macro) return Refuse("Непонятная команда справки: " + text);
  const QString name = QString::fromStdString(macro->name);
  if (name.compare("JumpID", Qt::CaseInsensitive) != 0) {
    return Refuse("Команда справки «" + name + "» не поддерживается: эта справка понимает только JumpID.");
  }
  if (macro->args.size() != 2) return Refuse("Команде JumpID нужны два параметра: файл справки и раздел.");
  // The file may be named the Windows way, with backslashes; only its name is compared.
  const QString file = QString::fromStdString(macro->args[0]);
  const QString fileName = QFileInfo(QString(file).replace('\\', '/')).fileName();
  if (!file.isEmpty() && fileName.compare(QFileInfo(path_).fileName(), Qt::CaseInsensitive) != 0) {
    return Refuse("Переход в другой файл справки («" + file + "») не поддерживается.");
  }
  const Topic* topic = help_.Find(macro->args[1]);
  if (topic == nullptr) {
    return Refuse("Раздел «" + QString::fromStdString(macro->args[1]) + "» в этом файле справки не найден.");
  }
  ShowTopic(*topic);
  return "ok";
}

QString HelpWindow::Refuse(const QString& message) {
  statusBar()->showMessage(message);
  return "error " + message;
}

}  // namespace frambul::ui::help
