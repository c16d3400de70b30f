#include "gui/RememberedState.h"

#include <QFileInfo>
#include <QSettings>

namespace tarnwick::remembered {

namespace {

// Named here rather than taken from the application's names, so the place is
// the same whoever builds the QApplication (the program or a test).
QSettings settings() { return QSettings(QStringLiteral("Tarnwick"), QStringLiteral("tarnwick")); }

const QString recentKey = QStringLiteral("files/recent");
const QString folderKey = QStringLiteral("files/lastFolder");

}  // namespace

QStringList recentFiles() {
    QStringList files = settings().value(recentKey).toStringList();
    files.removeAll(QString());
    files.removeDuplicates();
    while (files.size() > recentFileLimit) files.removeLast();
    return files;
}

void noteFileUsed(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList files = recentFiles();
    files.removeAll(absolute);
    files.prepend(absolute);
    while (files.size() > recentFileLimit) files.removeLast();
    QSettings s = settings();
    s.setValue(recentKey, files);
    s.setValue(folderKey, QFileInfo(absolute).absolutePath());
}

QString lastFolder() { return settings().value(folderKey).toString(); }

void setLastFolder(const QString& folder) { settings().setValue(folderKey, folder); }

QByteArray relaysWindowGeometry() {
    return settings().value(QStringLiteral("relaysWindow/geometry")).toByteArray();
}
void setRelaysWindowGeometry(const QByteArray& geometry) {
    settings().setValue(QStringLiteral("relaysWindow/geometry"), geometry);
}
bool relaysShowChanges() { return settings().value(QStringLiteral("relaysWindow/changes"), false).toBool(); }
void setRelaysShowChanges(bool on) { settings().setValue(QStringLiteral("relaysWindow/changes"), on); }

}  // namespace tarnwick::remembered
