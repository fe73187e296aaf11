#include "ui/help/topics_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace frambul::ui::help {

TopicsDialog::TopicsDialog(const HelpFile& help, QWidget* parent)
    : QDialog(parent), filter_(new QLineEdit(this)), list_(new QListWidget(this)) {
  setWindowTitle("Разделы справки");
  filter_->setObjectName("FilterEdt");
  filter_->setClearButtonEnabled(true);
  list_->setObjectName("TopicsLst");
  auto* label = new QLabel("&Слово для поиска в заголовках и тексте разделов:", this);
  label->setBuddy(filter_);
  for (const Topic& topic : help.topics) {
    auto* item = new QListWidgetItem(QString::fromStdString(topic.title), list_);
    item->setData(Qt::UserRole, QString::fromStdString(topic.id));
    searchTexts_ << QString::fromStdString(TopicPlainText(topic));
  }
  auto* buttons = new QDialogButtonBox(this);
  showButton_ = buttons->addButton("Показать", QDialogButtonBox::AcceptRole);
  showButton_->setObjectName("ShowBtn");
  buttons->addButton("Отмена", QDialogButtonBox::RejectRole);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(filter_);
  layout->addWidget(list_);
  layout->addWidget(buttons);
  resize(420, 380);

  connect(filter_, &QLineEdit::textChanged, this, &TopicsDialog::ApplyFilter);
  connect(list_, &QListWidget::itemActivated, this, &TopicsDialog::Choose);
  connect(buttons, &QDialogButtonBox::accepted, this, &TopicsDialog::Choose);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void TopicsDialog::Reset(const QString& id) {
  filter_->clear();
  ApplyFilter({});
  for (int row = 0; row < list_->count(); ++row) {
    if (list_->item(row)->data(Qt::UserRole).toString() == id) list_->setCurrentRow(row);
  }
  filter_->setFocus();
}

void TopicsDialog::ApplyFilter(const QString& text) {
  const QString wanted = text.simplified();
  QListWidgetItem* first = nullptr;
  for (int row = 0; row < list_->count(); ++row) {
    const bool match = searchTexts_[row].contains(wanted, Qt::CaseInsensitive);
    list_->item(row)->setHidden(!match);
    if (match && first == nullptr) first = list_->item(row);
  }
  QListWidgetItem* current = list_->currentItem();
  if (current == nullptr || current->isHidden()) list_->setCurrentItem(first);
  showButton_->setEnabled(first != nullptr);
}

void TopicsDialog::Choose() {
  const QListWidgetItem* item = list_->currentItem();
  if (item == nullptr || item->isHidden()) return;
  emit topicChosen(item->data(Qt::UserRole).toString());
  accept();
}

}  // namespace frambul::ui::help
