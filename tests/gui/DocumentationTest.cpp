// Help > Documentation: where the guide is looked for, and that the menu
// item hands it to the desktop. A URL handler for file: stands in for the
// desktop, so no viewer is started.

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include "gui/Documentation.h"
#include "gui/FrontPanel.h"
#include "gui/MainWindow.h"
#include "tests/gui/PanelTestSupport.h"

namespace tarnwick::test {
namespace {

bool touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("# guide\n") > 0;
}

}  // namespace

// Receives what QDesktopServices would open.
class UrlCatcher : public QObject {
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened << url; }
};

class DocumentationTest : public QObject {
    Q_OBJECT

private slots:
    void theInstalledCopyBesideTheProgramComesFirst() {
        QTemporaryDir prefix;
        QVERIFY(prefix.isValid());
        const QString bin = prefix.filePath(QStringLiteral("bin"));
        QVERIFY(QDir().mkpath(bin));
        const QStringList candidates = documentationCandidates(bin);
        QVERIFY(candidates.size() >= 1);
        QCOMPARE(candidates.first(), prefix.filePath(QStringLiteral("share/doc/tarnwick/docs/README.md")));

        // Not installed: the source tree's guide, which this build has.
        QCOMPARE(findDocumentation(candidates), QDir::cleanPath(QStringLiteral(TARNWICK_SOURCE_GUIDE)));
        QVERIFY(touch(candidates.first()));
        QCOMPARE(findDocumentation(candidates), candidates.first());
    }

    void nothingFoundIsAnEmptyPath() {
        QTemporaryDir dir;
        QCOMPARE(findDocumentation({dir.filePath(QStringLiteral("a/README.md")), dir.path()}), QString());
    }

    void theHelpItemOpensTheGuide() {
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
        {
            FrontPanel program;
            MainWindow& window = program.window();
            QStringList items;
            for (QAction* action : window.helpMenu()->actions()) items << action->text();
            QCOMPARE(items, (QStringList{"&Documentation", "&About ..."}));
            window.command(MainWindow::documentationId, 0);
        }
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(catcher.opened.size(), 1);
        QCOMPARE(catcher.opened.first(),
                 QUrl::fromLocalFile(QDir::cleanPath(QStringLiteral(TARNWICK_SOURCE_GUIDE))));
    }
};

}  // namespace tarnwick::test

QTEST_MAIN(tarnwick::test::DocumentationTest)
#include "DocumentationTest.moc"
