// The front panel on a screen scaled by 2: lamps, switches and the icon must
// come from images with twice the pixels, not from the small ones enlarged.

#include <QApplication>
#include <QtTest>
#include <functional>

#include "gui/CommandTarget.h"
#include "gui/IndicatorLampWidget.h"
#include "gui/PanelLook.h"
#include "gui/ToggleSwitchWidget.h"
#include "panel/PanelControl.h"

namespace tarnwick::test {
namespace {

class IgnoringTarget : public CommandTarget {
public:
    void command(int, int) override {}
};

QImage resourceImage(const QString& name) {
    programIcon();  // registers the embedded resources
    return QImage(QStringLiteral(":/tarnwick/") + name).convertToFormat(QImage::Format_RGB32);
}

// True when every 2 x 2 block is one colour: a small picture blown up.
bool isPixelDoubled(const QImage& image) {
    for (int y = 0; y + 1 < image.height(); y += 2)
        for (int x = 0; x + 1 < image.width(); x += 2) {
            const QRgb corner = image.pixel(x, y);
            if (image.pixel(x + 1, y) != corner || image.pixel(x, y + 1) != corner ||
                image.pixel(x + 1, y + 1) != corner)
                return false;
        }
    return true;
}

// What the widget put on the screen, in device pixels.
QImage devicePixels(QWidget* widget) {
    const QPixmap grabbed = widget->grab();
    if (grabbed.devicePixelRatio() != 2) return {};
    return grabbed.toImage().convertToFormat(QImage::Format_RGB32);
}

}  // namespace

class HighDensityTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QCOMPARE(qApp->devicePixelRatio(), 2.0); }

    void lampAndSwitchDrawTheirDoubleImages() {
        IndicatorLamp lamp;
        ToggleSwitch lever;
        IgnoringTarget target;
        QWidget parent;
        auto* lampWidget = new IndicatorLampWidget(lamp, 0, 0, &parent);
        auto* switchWidget = new ToggleSwitchWidget(lever, 110, 30, 0, target, &parent);

        struct Case {
            const char* image;
            QWidget* widget;
            std::function<void()> set;
        };
        const Case cases[] = {
            {"lamp-unlit@2x.png", lampWidget, [&] { lamp.setState(0); }},
            {"lamp-lit@2x.png", lampWidget, [&] { lamp.setState(1); }},
            {"switch-down@2x.png", switchWidget, [&] { lever.setState(0); }},
            {"switch-up@2x.png", switchWidget, [&] { lever.setState(1); }},
        };
        for (const Case& c : cases) {
            c.set();
            const QImage source = resourceImage(QString::fromLatin1(c.image));
            QCOMPARE(source.size(), c.widget->size() * 2);
            QVERIFY2(!isPixelDoubled(source), c.image);
            QVERIFY2(devicePixels(c.widget) == source, c.image);
        }
    }

    // The window icon and the About box take their pictures from the icon;
    // every size asked for at ratio 2 must exist with that many pixels.
    void iconHasEverySizeAtTwiceItsPixels() {
        const QIcon icon = programIcon();
        for (int size : {16, 32, 48, 128}) {
            const QPixmap pixmap = icon.pixmap(QSize(size, size), 2.0);
            QCOMPARE(pixmap.size(), QSize(2 * size, 2 * size));
            const QImage source = QImage(QStringLiteral(":/tarnwick/icon-%1.png").arg(2 * size));
            QVERIFY2(!source.isNull(), qPrintable(QString::number(2 * size)));
            QVERIFY2(!isPixelDoubled(source.convertToFormat(QImage::Format_RGB32)),
                     qPrintable(QString::number(2 * size)));
            QImage drawn = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
            drawn.setDevicePixelRatio(1);
            QCOMPARE(drawn, source.convertToFormat(QImage::Format_ARGB32));
        }
    }
};

}  // namespace tarnwick::test

int main(int argc, char** argv) {
    // As a desktop scaled by 2 would set it; read when the application starts.
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    tarnwick::test::HighDensityTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "HighDensityTest.moc"
