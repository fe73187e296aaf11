#pragma once
// The topics dialog of the help viewer: every topic of the file, narrowed by a filter
// that looks in the titles and the text.

#include <QDialog>

#include "ui/help/help_file.h"

class QLineEdit;
class QListWidget;
class QPushButton;

namespace frambul::ui::help {

class TopicsDialog : public QDialog {
  Q_OBJECT

 public:
  TopicsDialog(const HelpFile& help, QWidget* parent);

  // Clears the filter and marks the topic `id` before the dialog is shown again.
  void Reset(const QString& id);

 signals:
  void topicChosen(const QString& id);

 private:
  void ApplyFilter(const QString& text);
  void Choose();

  QLineEdit* filter_;
  QListWidget* list_;
  QPushButton* showButton_;
  QStringList searchTexts_;  // title and text of each topic, in list order
};

}  // namespace frambul::ui::help
