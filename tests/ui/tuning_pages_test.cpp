// The pages "Сеть" and "Удаление Программ" and the cache sliders of "Полезности"
// in the real window, offscreen on copies of the sample machine: mouse and key
// events, then OK and the files on disk. Run under a Russian and an
// English locale: the sizes in megabytes follow the locale's decimal separator.

#include <sys/stat.h>

#include <QtTest>
#include <QtWidgets>
#include <string>

#include "support/temp_prefix.h"
#include "support/window_session.h"

using frambul::test::ReadFile;
using Session = frambul::test::WindowSession;

namespace {

const std::string kIni = "drive_c/WINDOWS/SYSTEM.INI";

// The text of the modal box that comes up while `action` runs, and its look;
// the box is closed with its button.
QString ModalText(const std::function<void()>& action) {
  QString seen = "(no box)";
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    seen = box->windowTitle() + "|" + box->text() + "|" + QString::number(box->buttons().size()) + "|" +
           QString::number(box->icon());
    box->button(QMessageBox::Ok)->click();
  });
  action();
  return seen;
}

void Retype(QLineEdit* edit, const QString& text) {
  edit->setFocus();
  QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(edit, Qt::Key_Delete);
  QTest::keyClicks(edit, text);
}

// A click on a line of the list, with Ctrl or Shift held.
void ClickLine(QListWidget* list, int row, Qt::KeyboardModifiers shift = {}) {
  QTest::mouseClick(list->viewport(), Qt::LeftButton, shift, list->visualItemRect(list->item(row)).center());
}

// A point on the slider's groove at its left end, where a click pages down.
QPoint LeftEndOfGroove(const QSlider* slider) {
  QStyleOptionSlider option;
  option.initFrom(slider);
  option.orientation = slider->orientation();
  option.minimum = slider->minimum();
  option.maximum = slider->maximum();
  option.sliderPosition = option.sliderValue = slider->value();
  option.tickPosition = slider->tickPosition();
  option.subControls = QStyle::SC_All;
  const QRect groove = slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, slider);
  return {groove.left() + 2, groove.center().y()};
}

QStringList Lines(const QListWidget* list) {
  QStringList lines;
  for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
  return lines;
}

}  // namespace

class TuningPagesTest : public QObject {
  Q_OBJECT

 private slots:
  // The link refuses an MTU that is no number in a box of its own; "Рекомендованные", a typed MTU, RWIN from the
  // link and the empty TTL item picked with the mouse: OK writes the MTU into the binding and the stack's two.
  void networkPageTypedRecommendedAndComputed() {
    Session s;
    s.page("NetworkPage");
    auto* mtu = s.find<QLineEdit>("MTUEdt");
    auto* rwin = s.find<QLineEdit>("RWINEdt");
    auto* ttl = s.find<QComboBox>("TTLCbx");
    auto* link = s.find<QLabel>("Label6");
    auto shown = [&] { return mtu->text() + " " + rwin->text() + " " + ttl->currentText(); };
    // The stored TTL of 128 shows as "32".
    QCOMPARE(shown(), QString("576 2144 32"));

    Retype(mtu, "abc");
    const QString refused = ModalText([&] { QTest::mouseClick(link, Qt::LeftButton); });
    QCOMPARE(refused, QString("Фрамбуль Над Windows|Некорректное Значение MTU|1|%1").arg(QMessageBox::NoIcon));
    QTest::mouseClick(s.find<QPushButton>("BitBtn1"), Qt::LeftButton);
    QCOMPARE(shown(), QString("576 2144 64"));
    Retype(mtu, "1400");
    QTest::mouseClick(link, Qt::LeftButton);
    QCOMPARE(rwin->text(), QString("5440"));

    QTest::mouseClick(ttl, Qt::LeftButton);
    QAbstractItemView* items = ttl->view();
    QVERIFY(QTest::qWaitForWindowExposed(items->window()));
    // The popup ignores a release as quick as a double click after it opened.
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    const QPoint empty(items->viewport()->width() / 2, items->visualRect(items->model()->index(2, 0)).center().y());
    QTest::mouseMove(items->viewport(), empty);
    QTest::mouseClick(items->viewport(), Qt::LeftButton, {}, empty);
    QVERIFY(ttl->currentIndex() == 2 && s.frm->State().TTLCbx.Tag == 1);

    s.click("OkBtn");
    QVERIFY(s.inSystemReg(R"("MaxMTU"="1400")"));
    QVERIFY(s.inSystemReg("\"DefaultRcvWindow\"=\"5440\"\n\"Domain\"=\"\""));  // and no DefaultTTL
  }

  // Megabytes in the locale's way, the hint in kilobytes; the maximum paged down by a mouse click, the minimum
  // entered by Tab and moved by keys: OK changes SYSTEM.INI's two lines only.
  void cacheSlidersMovedByMouseAndKeyboard() {
    Session s;
    s.page("UsefulPage");
    // Entering a slider marks the group, and focus enters an active window only.
    s.frm->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(s.frm.get()));
    const QString dot = QLocale::system().decimalPoint();
    QCOMPARE(dot, QString(qEnvironmentVariable("LC_ALL").startsWith("ru") ? "," : "."));
    auto* min = s.find<QSlider>("MinCacheTrk");
    auto* max = s.find<QSlider>("MaxCacheTrk");
    auto shown = [&] {
      return QString("%1 %2 %3 %4 %5 %6").arg(min->value()).arg(max->value()).arg(s.find<QLabel>("MinLbl")->text(),
          s.find<QLabel>("MaxLbl")->text(), min->toolTip(), max->toolTip());
    };
    QCOMPARE(shown(), QString("4 32 2,0 M 16,0 M 2048 16384").replace(",", dot));
    const std::string ini = ReadFile(s.file(kIni));

    // A left click beside the handle moves by a page: 2 positions for the maximum.
    QTest::mouseClick(max, Qt::LeftButton, {}, LeftEndOfGroove(max));
    QCOMPARE(shown(), QString("4 30 2,0 M 15,0 M 2048 15360").replace(",", dot));
    QTest::keyClick(max, Qt::Key_Backtab);
    for (int i = 0; i < 3; ++i) QTest::keyClick(min, Qt::Key_Right);
    QCOMPARE(shown(), QString("7 30 3,5 M 15,0 M 3584 15360").replace(",", dot));

    s.click("OkBtn");
    std::string expected = ini;
    expected.replace(expected.find("MinFileCache=2048"), 17, "MinFileCache=3584");
    expected.replace(expected.find("MaxFileCache=16384"), 18, "MaxFileCache=15360");
    QCOMPARE(ReadFile(s.file(kIni)), expected);
  }

  // Lines picked with Shift and Ctrl go at once with their keys and subkeys, without a question; a removal that
  // cannot be written shows the error, and the next write carries it. A TTL set by the program and "Авто" mark
  // nothing: OK then writes neither the registry nor SYSTEM.INI.
  void removalTakesEffectAtOnceAndAnUnmarkedOkWritesNothing() {
    Session s;
    s.page("UninstallPage");
    auto* list = s.find<QListWidget>("UninstallLst");
    const QStringList loaded = Lines(list);
    QCOMPARE(loaded.mid(5, 3), (QStringList{"Kalendar", "Органайзер 3.1", "Tetris"}));
    ClickLine(list, 0);
    chmod(s.file("system.reg").c_str(), 0444);
    s.click("BitBtn7");
    QCOMPARE(s.errors.size(), 1);
    chmod(s.file("system.reg").c_str(), 0644);

    ClickLine(list, 4);
    ClickLine(list, 6, Qt::ShiftModifier);
    ClickLine(list, 1, Qt::ControlModifier);
    ClickLine(list, 7, Qt::ControlModifier);
    QCOMPARE(ModalText([&] { s.click("BitBtn7"); }), QString("(no box)"));
    QCOMPARE(Lines(list), (QStringList{loaded[1], loaded[3], loaded[4]}));
    const std::string uninstall = R"([Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\)";
    for (const char* gone : {"AddressBook]", "Buhgalteria 1.5]", "Kalendar]", "Organizer]", "Tetris]", "{5A2B1C60"})
      QVERIFY2(!s.inSystemReg(uninstall + gone), gone);

    const std::string reg = s.systemReg(), ini = ReadFile(s.file(kIni));
    s.find<QComboBox>("TTLCbx")->setCurrentIndex(1);
    s.page("UsefulPage");
    QTest::mouseClick(s.find<QLabel>("Label12"), Qt::LeftButton);
    QCOMPARE(s.find<QSlider>("MinCacheTrk")->value() + s.find<QSlider>("MaxCacheTrk")->value(), 0);
    s.click("OkBtn");
    QVERIFY(!s.frm->isVisible());
    QCOMPARE(s.systemReg(), reg);
    QCOMPARE(ReadFile(s.file(kIni)), ini);
  }
};

QTEST_MAIN(TuningPagesTest)
#include "tuning_pages_test.moc"
