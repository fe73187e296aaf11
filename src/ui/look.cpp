#include "look.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QBoxLayout>
#include <QDialog>
#include <QEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleFactory>

#include <algorithm>
#include <cmath>

// The icon and the buttons' pictures live in a static library, whose resources
// are linked in only when something names them; outside any namespace, as Qt
// requires.
static void InitProgramIcon() { Q_INIT_RESOURCE(program_icon); }
static void InitButtonPictures() { Q_INIT_RESOURCE(button_pictures); }

namespace frambul::ui {

namespace {

constexpr double kDesignDpi = 120.0;
constexpr double kDesignTextHeight = 16.0;
constexpr int kPictureSize = 16;

double ScreenDpi() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->logicalDotsPerInchY() : 96.0;
}

int Scaled(int pixels, double scale) {
  return pixels == 0 ? 0 : std::max(1, static_cast<int>(std::lround(pixels * scale)));
}

// A dimension of QWIDGETSIZE_MAX means "no limit" and stays as it is.
QSize ScaledLimit(QSize size, double scale) {
  auto one = [scale](int v) { return v == QWIDGETSIZE_MAX ? v : Scaled(v, scale); };
  return {one(size.width()), one(size.height())};
}

// Widgets and layouts the form itself made carry the names it gave them; the
// parts Qt builds inside its widgets are unnamed or named "qt_...".
bool MadeByForm(const QObject& object) {
  const QString name = object.objectName();
  return !name.isEmpty() && !name.startsWith(QLatin1String("qt_"));
}

void ScaleLayout(QLayout& layout, double scale) {
  const QMargins m = layout.contentsMargins();
  layout.setContentsMargins(Scaled(m.left(), scale), Scaled(m.top(), scale), Scaled(m.right(), scale),
                            Scaled(m.bottom(), scale));
  // A spacing of -1 is the style's own and is left to it.
  if (auto* grid = qobject_cast<QGridLayout*>(&layout)) {
    if (grid->horizontalSpacing() > 0) {
      grid->setHorizontalSpacing(Scaled(grid->horizontalSpacing(), scale));
    }
    if (grid->verticalSpacing() > 0) {
      grid->setVerticalSpacing(Scaled(grid->verticalSpacing(), scale));
    }
  } else if (layout.spacing() > 0) {
    layout.setSpacing(Scaled(layout.spacing(), scale));
  }
}

// The first of the families that is installed, alone, or all of them when
// none is. Qt would choose that one too, but only after asking fontconfig for
// the look-alikes of each missing family before it, and of the families after
// it as well: that costs more than building a form.
QStringList FirstInstalled(const QStringList& families) {
  const QStringList installed = QFontDatabase::families();
  for (const QString& family : families) {
    if (installed.contains(family, Qt::CaseInsensitive)) return {family};
  }
  return families;
}

// A font size that a form sets is in points at 120 dpi, the only unit a .ui
// file has; it becomes whole pixels at 120 dpi, then scaled. The form font is
// sized in pixels, so a size in points is the widget's own.
void ScaleOwnFont(QWidget& widget) {
  const QFont own = widget.font();
  if (!widget.testAttribute(Qt::WA_SetFont) || own.pointSizeF() <= 0) {
    return;
  }
  QFont font = own;
  // Qt does not follow fontconfig's aliases for a missing family; name the
  // installed look-alikes of the serif face the forms use.
  static const QStringList kSerif =
      FirstInstalled({QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif"),
                      QStringLiteral("Nimbus Roman"), QStringLiteral("DejaVu Serif")});
  if (own.families().value(0) == QLatin1String("Times New Roman")) {
    font.setFamilies(kSerif);
  }
  font.setPixelSize(FormFont(static_cast<int>(std::lround(own.pointSizeF() * kDesignDpi / 72.0))).pixelSize());
  widget.setFont(font);
}

// A PNG picture compiled into the program; null if there is none. Told the
// format, Qt reads it at once: left to find the format itself, it first loads
// every image plugin installed to ask each whether it reads PNG.
QImage CompiledPicture(const QString& path) {
  QImageReader reader(path, "png");
  reader.setAutoDetectImageFormat(false);
  return reader.read();
}

// A button's picture by the name a form gives in its "picture" property,
// painted for the program and compiled in, so that the look is the same on
// every desktop whatever icon themes it has; an unknown name gives none.
QIcon ButtonPicture(const QString& name) {
  static const bool linked = (InitButtonPictures(), true);
  Q_UNUSED(linked);
  const QImage picture = CompiledPicture(QStringLiteral(":/pictures/%1.png").arg(name));
  return picture.isNull() ? QIcon() : QIcon(QPixmap::fromImage(picture));
}

// Centres its window on the screen each time the window is shown.
class ScreenCentrer : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* window = qobject_cast<QWidget*>(watched);
    // A spontaneous show is the window system restoring the window: it stays put.
    if (event->type() == QEvent::Show && !event->spontaneous() && window != nullptr) {
      const QScreen* screen = window->screen();
      if (screen != nullptr) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
      }
    }
    return QObject::eventFilter(watched, event);
  }
};

}  // namespace

void ApplyClassicLook(QApplication& app) {
  if (QStyle* style = QStyleFactory::create(QStringLiteral("Windows"))) {
    app.setStyle(style);
    app.setPalette(style->standardPalette());
  }
  app.setFont(FormFont());
  app.setWindowIcon(ProgramIcon());
}

QIcon ProgramIcon() {
  static const bool linked = (InitProgramIcon(), true);
  Q_UNUSED(linked);
  // The 48- and 256-pixel pictures are whole-pixel enlargements of the 16- and
  // 32-pixel ones, as make_icons.py paints them; enlarging here costs much less
  // than decoding the big files at every start.
  const QImage small = CompiledPicture(QStringLiteral(":/icons/frambul-16.png"));
  const QImage large = CompiledPicture(QStringLiteral(":/icons/frambul-32.png"));
  QIcon icon;
  for (const QImage& picture : {small, large, small.scaled(48, 48), large.scaled(256, 256)}) {
    icon.addPixmap(QPixmap::fromImage(picture));
  }
  return icon;
}

void UseRussianQtTexts(QApplication& app) {
  static QTranslator qtTexts;
  if (qtTexts.load(QLocale(QLocale::Russian), "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    app.installTranslator(&qtTexts);
  }
}

QFont FormFont(int pixelsAt120dpi) {
  QFont font;
  // MS Sans Serif is seldom installed outside Windows; the next ones are
  // close in shape and carry Cyrillic.
  static const QStringList kFamilies = FirstInstalled(
      {QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Arial"),
       QStringLiteral("Liberation Sans"), QStringLiteral("Nimbus Sans"), QStringLiteral("DejaVu Sans")});
  font.setFamilies(kFamilies);
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(std::max(1, static_cast<int>(std::lround(pixelsAt120dpi * ScreenDpi() / kDesignDpi))));
  return font;
}

double LayoutScale() {
  // The forms were drawn for a font whose text is 16/13 of its pixel size.
  // Fonts standing in for it run shorter, and buttons and check boxes would
  // then shrink below their pictures; the screen's own ratio is the floor.
  return std::max(QFontMetrics(FormFont()).height() / kDesignTextHeight, ScreenDpi() / kDesignDpi);
}

void DressForm(QDialog& form, QSize clientAt120dpi) {
  const double scale = LayoutScale();
  form.setFont(FormFont());
  for (QWidget* widget : form.findChildren<QWidget*>()) {
    if (!MadeByForm(*widget)) {
      continue;
    }
    ScaleOwnFont(*widget);
    // As on Windows, a push button with the focus is the default one while it
    // keeps the focus, whatever the form says: Enter presses it, and it shows
    // the default frame. Elsewhere Enter presses the form's default button.
    if (auto* push = qobject_cast<QPushButton*>(widget)) {
      push->setAutoDefault(true);
    }
    const QVariant picture = widget->property("picture");
    auto* button = qobject_cast<QAbstractButton*>(widget);
    if (button != nullptr && picture.isValid()) {
      button->setIcon(ButtonPicture(picture.toString()));
      button->setIconSize({kPictureSize, kPictureSize});
    }
    // A scaled limit never cuts into a button's picture and caption in the
    // font at hand.
    const QSize least = button != nullptr ? button->minimumSizeHint() : QSize(0, 0);
    if (widget->maximumSize() != QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX)) {
      widget->setMaximumSize(ScaledLimit(widget->maximumSize(), scale).expandedTo(least));
    }
    if (widget->minimumSize() != QSize(0, 0)) {
      const QSize minimum = ScaledLimit(widget->minimumSize(), scale).expandedTo(least);
      widget->setMinimumSize(minimum.boundedTo(widget->maximumSize()));
    }
  }
  for (QLayout* layout : form.findChildren<QLayout*>()) {
    if (MadeByForm(*layout)) {
      ScaleLayout(*layout, scale);
    }
  }
  form.setWindowFlags(form.windowType() | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                      Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  // A font wider for its height than the one the forms were drawn with needs
  // more room; the window grows rather than clip its texts.
  QSize size = ScaledLimit(clientAt120dpi, scale);
  if (form.layout() != nullptr) size = size.expandedTo(form.layout()->minimumSize());
  form.setFixedSize(size);
  form.installEventFilter(new ScreenCentrer(&form));
}

QPixmap StartUpImage(int index) {
  if (index != 0 && index != 1) {
    return {};
  }
  QPixmap image(22, 18);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  QPainterPath path;
  if (index == 0) {
    path.moveTo(6, 9);
    path.lineTo(9.5, 12.5);
    path.lineTo(16, 5);
    painter.setPen(QPen(QColor(0, 128, 0), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  } else {
    path.moveTo(9, 5);
    path.lineTo(13, 9);
    path.lineTo(9, 13);
    painter.setPen(QPen(Qt::black, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  }
  painter.drawPath(path);
  return image;
}

}  // namespace frambul::ui
