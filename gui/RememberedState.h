#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tarnwick {

// What the front panel remembers between runs, through QSettings in the
// desktop's usual place (on Linux ~/.config/Tarnwick/tarnwick.conf, or under
// $XDG_CONFIG_HOME): the files opened last, the folder the file dialogs
// last showed and where the Relays window was. Nothing of the machine: memory kind, switches, clock period
// and memory contents start afresh every time. Deleting the file is harmless.
namespace remembered {

inline constexpr int recentFileLimit = 8;

// Most recent first, at most recentFileLimit, no duplicates.
QStringList recentFiles();
// Puts path first in the list and its folder as the last folder used.
void noteFileUsed(const QString& path);
// Empty until a file dialog has been used.
QString lastFolder();
void setLastFolder(const QString& folder);

// The Relays window: where it was and whether "Changes" was on.
QByteArray relaysWindowGeometry();
void setRelaysWindowGeometry(const QByteArray& geometry);
bool relaysShowChanges();
void setRelaysShowChanges(bool on);

}  // namespace remembered

}  // namespace tarnwick
