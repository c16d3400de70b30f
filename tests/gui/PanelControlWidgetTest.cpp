// The lamp and switch windows on their own: what they paint, when they
// repaint, and what a click does.

#include <QtTest>
#include <memory>
#include <thread>
#include <vector>

#include "gui/CommandTarget.h"
#include "gui/IndicatorLampWidget.h"
#include "gui/ToggleSwitchWidget.h"
#include "panel/PanelControl.h"
#include "tests/gui/PaintProbe.h"
#include "tests/gui/PanelTestSupport.h"

namespace tarnwick::test {
namespace {

// Records each notification together with the switch state seen at the time.
class RecordingTarget : public CommandTarget {
public:
    struct Notification {
        int id;
        int code;
        bool stateSeen;
    };

    explicit RecordingTarget(const ToggleSwitch& watched) : watched_(watched) {}
    void command(int id, int code) override { received.push_back({id, code, watched_.isOn()}); }

    std::vector<Notification> received;

private:
    const ToggleSwitch& watched_;
};

QColor pixelAt(QWidget* widget, int x, int y) { return widget->grab().toImage().pixelColor(x, y); }

bool isLampYellow(QColor c) { return c.red() > 200 && c.green() > 200 && c.blue() < 80; }
bool isPanelGrey(QColor c) { return c == QColor(192, 192, 192); }

}  // namespace

// Each test declares its lamp or switch before the parent window: the
// windows detach from their control when the parent destroys them, so the
// control must still exist then.
class PanelControlWidgetTest : public QObject {
    Q_OBJECT

private slots:
    void lampShowsItsStateAndIsTwentyFourSquare() {
        IndicatorLamp lamp;
        QWidget parent;
        auto* widget = new IndicatorLampWidget(lamp, 5, 7, &parent);
        QCOMPARE(widget->geometry(), QRect(5, 7, 24, 24));

        QVERIFY(isPanelGrey(pixelAt(widget, 12, 14)));
        QVERIFY(!isPanelGrey(pixelAt(widget, 12, 1)));  // the black rim
        lamp.setState(1);
        QVERIFY(isLampYellow(pixelAt(widget, 12, 14)));
        QVERIFY(isPanelGrey(pixelAt(widget, 0, 0)));  // panel grey around the disc
    }

    void lampRepaintsOnlyWhenItsStateChanges() {
        IndicatorLamp lamp;
        QWidget parent;
        parent.resize(40, 40);
        auto* widget = new IndicatorLampWidget(lamp, 0, 0, &parent);
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        PaintProbe probe(widget);
        settle();
        probe.reset();

        lamp.setState(1);
        settle();
        QCOMPARE(probe.paints, 1);

        lamp.setState(1);
        settle();
        QCOMPARE(probe.paints, 1);

        lamp.setState(0);
        lamp.setState(0);
        settle();
        QCOMPARE(probe.paints, 2);
    }

    void lampStateSetBeforeTheWindowIsShownOnceItExists() {
        IndicatorLamp lamp;
        lamp.setState(1);
        QWidget parent;
        auto* widget = new IndicatorLampWidget(lamp, 0, 0, &parent);
        QVERIFY(isLampYellow(pixelAt(widget, 12, 14)));
    }

    void lampDetachesWhenItsWindowGoes() {
        IndicatorLamp lamp;
        {
            QWidget parent;
            new IndicatorLampWidget(lamp, 0, 0, &parent);
            QVERIFY(lamp.window() != nullptr);
        }
        QVERIFY(lamp.window() == nullptr);
        lamp.setState(1);  // still stores, reaches no window
        QCOMPARE(lamp.state(), 1);
    }

    void changesOffTheWindowThreadAreQueuedOnceAndPaintedOnTheWindowThread() {
        IndicatorLamp lamp;
        QWidget parent;
        parent.resize(40, 40);
        auto* widget = new IndicatorLampWidget(lamp, 0, 0, &parent);
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        PaintProbe probe(widget);
        settle();
        probe.reset();

        // Many changes while the window thread is busy elsewhere: they must
        // not pile up as many queued requests.
        std::thread simulation([&lamp] {
            for (int i = 0; i < 1000; ++i) lamp.setState(i % 2 == 0 ? 1 : 0);
            lamp.setState(1);
        });
        simulation.join();
        QCOMPARE(probe.paints, 0);  // nothing painted from the other thread
        settle();
        QCOMPARE(probe.queuedCalls, 1);
        QCOMPARE(probe.paints, 1);
        QVERIFY(!probe.paintedOffWindowThread);
        QVERIFY(isLampYellow(pixelAt(widget, 12, 14)));

        // Once delivered, the next change queues a fresh request.
        probe.reset();
        std::thread([&lamp] { lamp.setState(0); }).join();
        settle();
        QCOMPARE(probe.queuedCalls, 1);
        QCOMPARE(probe.paints, 1);
        QVERIFY(isPanelGrey(pixelAt(widget, 12, 14)));
    }

    void switchShowsLeverUpWhenOn() {
        ToggleSwitch toggle;
        RecordingTarget target(toggle);
        QWidget parent;
        auto* widget = new ToggleSwitchWidget(toggle, 110, 3, 4, target, &parent);
        QCOMPARE(widget->geometry(), QRect(3, 4, 24, 40));

        // Off: the lever hangs below the pivot; on: it stands above it.
        QCOMPARE(pixelAt(widget, 12, 33), QColor(Qt::white));
        QVERIFY(isPanelGrey(pixelAt(widget, 12, 3)));
        toggle.setState(1);
        QCOMPARE(pixelAt(widget, 12, 6), QColor(Qt::white));
        QVERIFY(isPanelGrey(pixelAt(widget, 12, 37)));
        QCOMPARE(widget->cursor().shape(), Qt::PointingHandCursor);
    }

    void clickFlipsTheStateThenNotifiesWithTheNewState() {
        ToggleSwitch toggle;
        RecordingTarget target(toggle);
        QWidget parent;
        auto* widget = new ToggleSwitchWidget(toggle, 137, 0, 0, target, &parent);

        QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(12, 20));
        QVERIFY(toggle.isOn());
        QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(1, 38));
        QVERIFY(!toggle.isOn());

        // A double click is two clicks: press, release, then a double-click
        // event in place of the second press, and its release.
        QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(12, 20));
        QTest::mouseDClick(widget, Qt::LeftButton, {}, QPoint(12, 20));
        QTest::mouseRelease(widget, Qt::LeftButton, {}, QPoint(12, 20));
        QVERIFY(!toggle.isOn());

        QCOMPARE(target.received.size(), size_t{4});
        QCOMPARE(target.received[0].id, 137);
        QCOMPARE(target.received[0].code, 0);
        QCOMPARE(target.received[0].stateSeen, true);
        QCOMPARE(target.received[1].id, 137);
        QCOMPARE(target.received[1].stateSeen, false);
    }

    void pressInsideReleaseOutsideDoesNothing() {
        ToggleSwitch toggle;
        RecordingTarget target(toggle);
        QWidget parent;
        auto* widget = new ToggleSwitchWidget(toggle, 111, 0, 0, target, &parent);

        QTest::mousePress(widget, Qt::LeftButton, {}, QPoint(12, 20));
        QTest::mouseRelease(widget, Qt::LeftButton, {}, QPoint(12, 41));
        QTest::mousePress(widget, Qt::LeftButton, {}, QPoint(12, 20));
        QTest::mouseRelease(widget, Qt::LeftButton, {}, QPoint(-1, 20));
        QVERIFY(!toggle.isOn());
        QVERIFY(target.received.empty());

        // A release without a press, and the other buttons, do nothing either.
        QTest::mouseRelease(widget, Qt::LeftButton, {}, QPoint(12, 20));
        QTest::mouseClick(widget, Qt::RightButton, {}, QPoint(12, 20));
        QVERIFY(!toggle.isOn());
        QVERIFY(target.received.empty());

        // The aborted press leaves nothing behind: the next click counts once.
        QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(12, 20));
        QVERIFY(toggle.isOn());
        QCOMPARE(target.received.size(), size_t{1});
    }

    void settingTheSameStateNeitherRepaintsNorNotifies() {
        ToggleSwitch toggle;
        RecordingTarget target(toggle);
        QWidget parent;
        parent.resize(40, 50);
        auto* widget = new ToggleSwitchWidget(toggle, 112, 0, 0, target, &parent);
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        PaintProbe probe(widget);
        settle();
        probe.reset();

        toggle.setState(0);
        settle();
        QCOMPARE(probe.paints, 0);
        toggle.setState(1);
        settle();
        QCOMPARE(probe.paints, 1);
        QVERIFY(target.received.empty());  // setState never notifies
    }
};

}  // namespace tarnwick::test

QTEST_MAIN(tarnwick::test::PanelControlWidgetTest)
#include "PanelControlWidgetTest.moc"
