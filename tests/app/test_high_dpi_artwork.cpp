// The window on a screen scaled to 200%: still 612 x 355 device-independent pixels with the
// same layout, and every picture button drawn from its twice-size twin, not stretched from
// the 100% picture. The whole program runs at scale 2 (QT_SCALE_FACTOR, set before the
// application starts).
#include <QApplication>
#include <QImageReader>
#include <QPainter>
#include <functional>

#include "form1_harness.h"

using harness::Window;
using quillmark::app::ImageButton;

namespace {

// The mean difference per channel between two images of one size, 0 to 255.
double meanDifference(const QImage& first, const QImage& second) {
    const QImage a = first.convertToFormat(QImage::Format_RGB32);
    const QImage b = second.convertToFormat(QImage::Format_RGB32);
    if (a.size() != b.size()) return 255;
    double total = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            total += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                     std::abs(qBlue(p) - qBlue(q));
        }
    return total / (3.0 * a.width() * a.height());
}

}  // namespace

class TestHighDpiArtwork : public QObject {
    Q_OBJECT

  private slots:
    void everyPictureHasATwiceSizeTwin_data();
    void everyPictureHasATwiceSizeTwin();
    void windowKeepsItsSizeAndLayout();
    void buttonsAreTheTwinScaledSmoothly_data();
    void buttonsAreTheTwinScaledSmoothly();
};

void TestHighDpiArtwork::everyPictureHasATwiceSizeTwin_data() {
    QTest::addColumn<QString>("name");
    for (const char* name : {"folder", "search", "stop", "help", "close"})
        QTest::newRow(name) << name;
}

void TestHighDpiArtwork::everyPictureHasATwiceSizeTwin() {
    QFETCH(QString, name);
    const QImage plain(":/artwork/" + name + ".jpg");
    const QImage twin(":/artwork/" + name + "@2x.jpg");
    QVERIFY(!plain.isNull() && !twin.isNull());
    QCOMPARE(twin.size(), plain.size() * 2);
    QCOMPARE(twin.devicePixelRatio(), 2.0);  // Qt reads the @2x name as pixel ratio 2
    // The same drawing: scaled down, the twin is the plain picture within JPEG noise.
    const QImage down = twin.scaled(plain.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QVERIFY2(meanDifference(down, plain) < 6,
             qPrintable(QString::number(meanDifference(down, plain))));
}

void TestHighDpiArtwork::windowKeepsItsSizeAndLayout() {
    Window window;
    window.show();
    QCOMPARE(window.form.devicePixelRatio(), 2.0);
    QCOMPARE(window.form.size(), QSize(612, 355));
    QCOMPARE(window.form.Image1()->geometry(), QRect(232, 51, 30, 26));
    QCOMPARE(window.form.ListView1()->geometry(), QRect(16, 128, 585, 201));
    const QPixmap shot = window.form.grab();
    QCOMPARE(shot.size(), QSize(1224, 710));
    // The outline still runs along the very edge, now two device pixels wide.
    const QImage drawn = shot.toImage();
    QCOMPARE(drawn.pixelColor(0, 400), QColor(16, 152, 248));
    QCOMPARE(drawn.pixelColor(1, 400), QColor(16, 152, 248));
    QCOMPARE(drawn.pixelColor(1223, 400), QColor(16, 152, 248));
}

void TestHighDpiArtwork::buttonsAreTheTwinScaledSmoothly_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("ratio");
    for (double ratio : {2.0, 1.5}) {
        for (const auto& [button, name] : {std::pair{"Image1", "folder"},
                                           {"Image2", "search"},
                                           {"Image4", "stop"},
                                           {"Image5", "help"},
                                           {"Image3", "close"}})
            QTest::addRow("%s at %g", name, ratio) << button << name << ratio;
    }
}

// At 200% the window's own picture shows each button drawn from its twin. A screen at 150%
// paints through a device of pixel ratio 1.5, as a render into an image of that ratio does:
// the button draws its twin scaled down smoothly into its place, not its plain picture
// stretched, nor the twin sampled without smoothing (which drops every fourth pixel). An odd
// size ends on half a device pixel, so each reference is painted the same way.
void TestHighDpiArtwork::buttonsAreTheTwinScaledSmoothly() {
    QFETCH(QString, button);
    QFETCH(QString, name);
    QFETCH(double, ratio);
    Window window;
    window.show();
    auto* image = window.form.findChild<ImageButton*>(button);
    image->show();  // the Stop button too, in the Search button's place
    image->raise();
    const bool blended = image->parentWidget() == window.form.Picture1();
    const QColor surface = window.form.palette().color(QPalette::Highlight);
    const auto paintAt = [&](const std::function<void(QPainter&)>& paint) {
        QImage drawn(image->size() * ratio, QImage::Format_RGB32);
        drawn.fill(surface);
        drawn.setDevicePixelRatio(ratio);
        {
            QPainter painter(&drawn);
            paint(painter);
        }
        drawn.setDevicePixelRatio(1);
        return drawn;
    };
    const auto picture = [&](const QImage& source, bool smooth) {
        return paintAt([&](QPainter& painter) {
            painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
            if (blended) painter.setCompositionMode(QPainter::CompositionMode_Screen);
            painter.drawImage(QRect(QPoint(0, 0), image->size()), source);
        });
    };
    // The button in the window's own picture, over whatever lies beneath it, or rendered.
    const QRect place(image->mapTo(&window.form, QPoint(0, 0)) * 2, image->size() * 2);
    const QImage drawn =
        ratio == 2 ? window.form.grab().toImage().copy(place) : paintAt([&](QPainter& painter) {
            image->render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
        });
    const QImage twin(":/artwork/" + name + "@2x.jpg");
    const double fromSmooth = meanDifference(drawn, picture(twin, true));
    const double fromBlurry =
        meanDifference(drawn, picture(QImage(":/artwork/" + name + ".jpg"), true));
    const double fromSampled = meanDifference(drawn, picture(twin, false));
    QVERIFY2(fromSmooth < 1.0, qPrintable(QString("off the smoothed twin by %1").arg(fromSmooth)));
    QVERIFY2(fromBlurry > 3 * fromSmooth + 1,
             qPrintable(QString("upscaled %1, twin %2").arg(fromBlurry).arg(fromSmooth)));
    if (ratio != 2)
        QVERIFY2(
            fromSmooth < 0.5 && fromSampled > 0.5,
            qPrintable(QString("smoothed %1, unsmoothed %2").arg(fromSmooth).arg(fromSampled)));
}

int main(int argc, char** argv) {
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication application(argc, argv);
    TestHighDpiArtwork test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_high_dpi_artwork.moc"
