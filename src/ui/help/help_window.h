#pragma once
// The help viewer's window: one help file, its topics read in a browser with jumps,
// back and forward, and the topics dialog. Requests from callers arrive through Execute.

#include <QMainWindow>
#include <QTextBrowser>

#include "ui/help/help_file.h"

class QLabel;

namespace frambul::ui::help {

class TopicsDialog;

// Shows topics of the help file under URLs "topic:<id>"; nothing else is loaded.
class TopicBrowser : public QTextBrowser {
  Q_OBJECT

 public:
  TopicBrowser(const HelpFile& help, QWidget* parent);
  QVariant loadResource(int type, const QUrl& name) override;

 private:
  const HelpFile& help_;
};

class HelpWindow : public QMainWindow {
  Q_OBJECT

 public:
  // `help` must hold at least one topic; `path` is the file it was read from.
  HelpWindow(HelpFile help, QString path);

  // Obeys one request of the help channel and returns the answer for the caller.
  QString Execute(const QString& request);

  // The id of the topic shown.
  QString CurrentTopic() const;
  TopicsDialog* Finder() const { return finder_; }

 private:
  void ShowTopic(const Topic& topic);
  void OpenFinder();
  void BringToFront();
  // Runs a help macro; on failure shows why and returns it.
  QString RunMacro(const QString& text);
  QString Refuse(const QString& message);

  HelpFile help_;
  QString path_;
  TopicBrowser* browser_;
  TopicsDialog* finder_;
};

}  // namespace frambul::ui::help
