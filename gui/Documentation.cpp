#include "gui/Documentation.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

// Both are set by gui/CMakeLists.txt: the documentation folder relative to
// the installed program's folder, and the source tree.
#ifndef TARNWICK_DOCS_FROM_PROGRAM
#define TARNWICK_DOCS_FROM_PROGRAM "../share/doc/tarnwick"
#endif
#ifndef TARNWICK_SOURCE_DIR
#define TARNWICK_SOURCE_DIR ""
#endif

namespace tarnwick {

QStringList documentationCandidates(const QString& programFolder) {
    const QString guide = QString::fromLatin1(guideInDocumentation);
    QStringList candidates{QDir::cleanPath(
        QDir(programFolder).filePath(QStringLiteral(TARNWICK_DOCS_FROM_PROGRAM "/") + guide))};
    if (const QString source = QStringLiteral(TARNWICK_SOURCE_DIR); !source.isEmpty())
        candidates << QDir::cleanPath(QDir(source).filePath(guide));
    return candidates;
}

QString findDocumentation(const QStringList& candidates) {
    for (const QString& candidate : candidates)
        if (QFileInfo(candidate).isFile()) return candidate;
    return {};
}

void openDocumentation(QWidget* owner) {
    const QStringList candidates = documentationCandidates(QCoreApplication::applicationDirPath());
    const QString guide = findDocumentation(candidates);
    if (guide.isEmpty()) {
        QMessageBox::information(
            owner, QStringLiteral("Documentation"),
            QStringLiteral("The documentation is not installed. It was looked for at:\n") +
                candidates.join(QLatin1Char('\n')));
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(guide)))
        QMessageBox::information(
            owner, QStringLiteral("Documentation"),
            QStringLiteral("No program to show the documentation was found. It is at:\n") + guide);
}

}  // namespace tarnwick
