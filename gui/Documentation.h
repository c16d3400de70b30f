#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace tarnwick {

// The user's guide is docs/README.md of the documentation folder, which
// mirrors the source tree (README.md, docs/, examples/).
inline constexpr const char* guideInDocumentation = "docs/README.md";

// The places the guide is looked for, in order: the installed folder beside
// the program (PREFIX/bin/tarnwick reads PREFIX/share/doc/tarnwick), then the
// source tree the program was built from, for a program run from its build
// tree.
QStringList documentationCandidates(const QString& programFolder);

// The first candidate that exists, or an empty string.
QString findDocumentation(const QStringList& candidates);

// Help > Documentation: opens the guide with the desktop's viewer for it, or
// says where it was looked for when it is in none of those places.
void openDocumentation(QWidget* owner);

}  // namespace tarnwick
