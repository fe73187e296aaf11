// The pages "Сеть" and "Удаление Программ" and the cache sliders of "Полезности"
// in the real window, offscreen on copies of the sample machine: mouse and key
// events, then OK or Cancel and the files on disk. Run under a Russian and an
// English locale: the sizes in megabytes follow the locale's decimal separator.

#include <sys/stat.h>

#include <QtTest>
#include <QtWidgets>
#include <string>

#include "support/temp_prefix.h"
#include "support/window_session.h"

using frambul::engine::TweaksChanged;
using frambul::test::ReadFile;
using Session = frambul::test::WindowSession;

namespace {

const std::string kBinding = R"([System\\CurrentControlSet\\Services\\Class\\NetTrans\\)";
const std::string kIni = "drive_c/WINDOWS/SYSTEM.INI";

// The value lines of a key of the sample's system.reg, found by its head.
std::string Values(const Session& s, const std::string& head) {
  const std::string reg = s.systemReg();
  const size_t start = reg.find('\n', reg.find("\n#time=", reg.find(head)) + 1) + 1;
  return reg.substr(start, reg.find("\n\n", start) - start);
}

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
  // A typed MTU, RWIN from the link (a box of its own for an MTU that is no number, wrapping below 40), the empty
  // TTL item picked with the mouse: OK writes all three into the first TCP/IP binding and the stack.
  void networkPageTypedAndComputed() {
    Session s;
    s.page("NetworkPage");
    const frambul::engine::MainForm& state = s.frm->State();
    auto* mtu = s.find<QLineEdit>("MTUEdt");
    auto* rwin = s.find<QLineEdit>("RWINEdt");
    auto* ttl = s.find<QComboBox>("TTLCbx");
    auto* link = s.find<QLabel>("Label6");
    // The stored TTL of 128 shows as "32".
    QCOMPARE(mtu->text() + " " + rwin->text() + " " + ttl->currentText(), QString("576 2144 32"));
    QVERIFY(mtu->isEnabled() && rwin->isEnabled() && ttl->isEnabled());
    std::string binding = Values(s, kBinding + "0001]");

    Retype(mtu, "abc");
    const QString refused = ModalText([&] { QTest::mouseClick(link, Qt::LeftButton); });
    QCOMPARE(refused, QString("Фрамбуль Над Windows|Некорректное Значение MTU|1|%1").arg(QMessageBox::NoIcon));
    QVERIFY(rwin->text() == "2144" && state.RWINEdt.Tag == 0 && s.errors.isEmpty());
    Retype(mtu, "20");
    QTest::mouseClick(link, Qt::LeftButton);
    QCOMPARE(rwin->text(), QString("-80"));
    Retype(mtu, "1400");
    QTest::mouseClick(link, Qt::LeftButton);
    QVERIFY(rwin->text() == "5440" && state.RWINEdt.Tag == 1);

    QTest::mouseClick(ttl, Qt::LeftButton);
    QAbstractItemView* items = ttl->view();
    QVERIFY(QTest::qWaitForWindowExposed(items->window()));
    // The popup ignores a release as quick as a double click after it opened.
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    const QPoint empty(items->viewport()->width() / 2, items->visualRect(items->model()->index(2, 0)).center().y());
    QTest::mouseMove(items->viewport(), empty);
    QTest::mouseClick(items->viewport(), Qt::LeftButton, {}, empty);

    QVERIFY(ttl->currentIndex() == 2 && state.TTLCbx.Tag == 1);

    s.click("OkBtn");
    QVERIFY(!s.frm->isVisible());
    binding.replace(binding.find(R"("MaxMTU"="576")"), 14, R"("MaxMTU"="1400")");
    QCOMPARE(Values(s, kBinding + "0001]"), binding);
    QVERIFY(Values(s, kBinding + R"(0003])").find("\"MaxMTU\"=\"1500\"") != std::string::npos);
    QVERIFY(s.inSystemReg("\"DefaultRcvWindow\"=\"5440\"\n\"Domain\"=\"\""));  // and no DefaultTTL
  }

  // "Рекомендованные" fills all three and marks the MTU alone; a TTL set by the
  // program and "Авто" mark nothing, and OK then writes nothing of the group.
  void networkPageRecommendedAndUnmarked() {
    for (bool recommended : {true, false}) {
      Session s;
      s.page("NetworkPage");
      const frambul::engine::MainForm& state = s.frm->State();
      auto* ttl = s.find<QComboBox>("TTLCbx");
      const std::string ini = ReadFile(s.file(kIni));
      if (recommended) {
        QTest::mouseClick(s.find<QPushButton>("BitBtn1"), Qt::LeftButton);
        const QString shown = s.find<QLineEdit>("MTUEdt")->text() + " " + s.find<QLineEdit>("RWINEdt")->text();
        QCOMPARE(shown + " " + ttl->currentText(), QString("576 2144 64"));
        QVERIFY(state.MTUEdt.Tag == 1 && state.RWINEdt.Tag == 0 && state.TTLCbx.Tag == 0);
      } else {
        ttl->setCurrentIndex(1);
        s.page("UsefulPage");
        QTest::mouseClick(s.find<QLabel>("Label12"), Qt::LeftButton);
        QCOMPARE(s.find<QSlider>("MinCacheTrk")->value() + s.find<QSlider>("MaxCacheTrk")->value(), 0);
        QCOMPARE(s.find<QLabel>("MinLbl")->text() + s.find<QLabel>("MaxLbl")->text(), QString("АвтоАвто"));
        QVERIFY(!TweaksChanged(state));
      }
      s.click("OkBtn");
      QCOMPARE(s.inSystemReg("\"DefaultRcvWindow\"=\"2144\"\n\"DefaultTTL\"=\"64\""), recommended);
      QCOMPARE(s.inSystemReg("\"DefaultTTL\"=\"128\""), !recommended);
      QCOMPARE(ReadFile(s.file(kIni)), ini);
    }
  }

  // Megabytes in the locale's way, the hint in kilobytes; entering a slider by mouse or Tab marks it before it
  // moves; one moved past the other drags it along; OK changes SYSTEM.INI's two lines only.
  void cacheSlidersMovedByMouseAndKeyboard() {
    Session s;
    s.page("UsefulPage");
    s.frm->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(s.frm.get()));
    const frambul::engine::MainForm& state = s.frm->State();
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
    QVERIFY(QApplication::focusWidget() == max && state.MaxCacheTrk.Tag == 1 && state.MinCacheTrk.Tag == 0);
    QCOMPARE(shown(), QString("4 30 2,0 M 15,0 M 2048 15360").replace(",", dot));
    QTest::keyClick(max, Qt::Key_Home);
    QCOMPARE(shown(), QString("0 0 Авто Авто 0 0"));
    // Tab into the minimum marks it too.
    QTest::keyClick(max, Qt::Key_Backtab);
    QVERIFY(QApplication::focusWidget() == min && state.MinCacheTrk.Tag == 1);
    for (int i = 0; i < 21; ++i) QTest::keyClick(min, Qt::Key_Right);
    QCOMPARE(shown(), QString("21 21 11,0 M 11,0 M 10752 10752").replace(",", dot));
    QTest::keyClick(min, Qt::Key_Left);
    QCOMPARE(shown(), QString("20 21 10,0 M 11,0 M 10240 10752").replace(",", dot));

    s.click("OkBtn");
    std::string expected = ini;
    expected.replace(expected.find("MinFileCache=2048"), 17, "MinFileCache=10240");
    expected.replace(expected.find("MaxFileCache=16384"), 18, "MaxFileCache=10752");
    QCOMPARE(ReadFile(s.file(kIni)), expected);
  }

  // Lines picked with Shift and Ctrl go at once with their keys and subkeys, without a question; a removal that
  // cannot be written shows the error, and the next write carries it. Cancel undoes none of it.
  void uninstallRemovalTakesEffectAtOnce() {
    Session s;
    s.page("UninstallPage");
    auto* list = s.find<QListWidget>("UninstallLst");
    const QStringList loaded = Lines(list);
    QCOMPARE(loaded.size(), 9);
    QVERIFY(list->isEnabled());
    QCOMPARE(loaded.mid(5, 3), (QStringList{"Kalendar", "Органайзер 3.1", "Tetris"}));
    QCOMPARE(loaded[1], loaded[2]);  // "Buhgalteria" and "Buhgalteria 1.5": the one picked goes
    const std::string uninstall = R"([Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\)";
    ClickLine(list, 0);
    chmod(s.file("system.reg").c_str(), 0444);
    s.click("BitBtn7");
    QCOMPARE(s.errors.size(), 1);
    QVERIFY(s.inSystemReg(uninstall + "AddressBook]"));
    chmod(s.file("system.reg").c_str(), 0644);

    ClickLine(list, 4);
    ClickLine(list, 6, Qt::ShiftModifier);
    ClickLine(list, 1, Qt::ControlModifier);
    ClickLine(list, 7, Qt::ControlModifier);
    QCOMPARE(list->selectedItems().size(), 5);
    s.page("NetworkPage");
    Retype(s.find<QLineEdit>("MTUEdt"), "1400");
    QCOMPARE(ModalText([&] { s.click("BitBtn7"); }), QString("(no box)"));
    QCOMPARE(Lines(list), (QStringList{loaded[1], loaded[3], loaded[4]}));
    QVERIFY(list->selectedItems().isEmpty());
    for (const char* gone : {"AddressBook]", "Buhgalteria 1.5]", "Kalendar]", "Organizer]", "Tetris]", "{5A2B1C60"})
      QVERIFY2(!s.inSystemReg(uninstall + gone), gone);
    for (const char* kept : {"Buhgalteria]", "DirectXDrivers]", "IE40]"}) QVERIFY2(s.inSystemReg(uninstall + kept), kept);
    const std::string afterRemoval = s.systemReg();
    s.click("BitBtn2");
    QVERIFY(!s.frm->isVisible());
    QCOMPARE(s.systemReg(), afterRemoval);
  }
};

QTEST_MAIN(TuningPagesTest)
#include "tuning_pages_test.moc"
