#pragma once

#include <QDialog>

#include <memory>

class QLineEdit;
namespace Ui {
class TComFrm;
class TAboutFrm;
class TLinksFrm;
}  // namespace Ui

namespace frambul::ui {

// A dialog that builds its form when it is first shown: the program creates
// every dialog at start, and most runs show none of them.
class TFormDialog : public QDialog {
  Q_OBJECT

 public:
  using QDialog::QDialog;

  void setVisible(bool visible) override;

 protected:
  // Builds the form unless it is built; a control that the caller needs before
  // the first showing is reached through this.
  void EnsureBuilt();
  // Makes the form's widgets and dresses them; called once.
  virtual void Build() = 0;

 private:
  bool built_ = false;
};

// "Подробно...": edits one startup entry's command line. "Угу" (Enter)
// accepts, "Отмена" (Esc) rejects; the caller fills and reads Edit1.
class TComFrm : public TFormDialog {
  Q_OBJECT

 public:
  explicit TComFrm(QWidget* parent = nullptr);
  ~TComFrm() override;

  QLineEdit* Edit1();

 protected:
  void Build() override;

 private:
  std::unique_ptr<Ui::TComFrm> form_;
};

// A dialog of fixed texts with one closing button, "Угу". It has no cancel
// button, so Esc leaves it open; its close box closes it as "Угу" does.
class TInfoDialog : public TFormDialog {
  Q_OBJECT

 public:
  using TFormDialog::TFormDialog;

  void reject() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

// "AboutFrm": the program's name, maker, year, version and contact address.
class TAboutFrm : public TInfoDialog {
  Q_OBJECT

 public:
  explicit TAboutFrm(QWidget* parent = nullptr);
  ~TAboutFrm() override;

 protected:
  void Build() override;

 private:
  std::unique_ptr<Ui::TAboutFrm> form_;
};

// "Благодарности И Ссылки": where the settings came from, and thanks.
class TLinksFrm : public TInfoDialog {
  Q_OBJECT

 public:
  explicit TLinksFrm(QWidget* parent = nullptr);
  ~TLinksFrm() override;

 protected:
  void Build() override;

 private:
  std::unique_ptr<Ui::TLinksFrm> form_;
};

}  // namespace frambul::ui
