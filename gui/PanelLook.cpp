#include "gui/PanelLook.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStringList>
// Resources compiled into a static library must be registered by hand; the
// macro has to be used outside any namespace.
static void registerPanelResources() { Q_INIT_RESOURCE(tarnwick); }

namespace tarnwick {

namespace {

void ensureResources() {
    static const bool registered = (registerPanelResources(), true);
    (void)registered;
}

QImage loadImage(const char* path) {
    ensureResources();
    QImage image(QString::fromLatin1(path));
    return image.convertToFormat(QImage::Format_RGB32);
}

QFont panelFont(const QStringList& families, QFont::StyleHint hint, int pixelSize, QFont::Weight weight) {
    QFont font;
    font.setFamilies(families);
    font.setStyleHint(hint);
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

}  // namespace

const QImage& litLampImage() {
    static const QImage image = loadImage(":/tarnwick/lamp-lit.png");
    return image;
}

const QImage& unlitLampImage() {
    static const QImage image = loadImage(":/tarnwick/lamp-unlit.png");
    return image;
}

const QImage& leverUpImage() {
    static const QImage image = loadImage(":/tarnwick/switch-up.png");
    return image;
}

const QImage& leverDownImage() {
    static const QImage image = loadImage(":/tarnwick/switch-down.png");
    return image;
}

QIcon programIcon() {
    ensureResources();
    QIcon icon;
    for (int size : {16, 32, 48, 128})
        icon.addFile(QStringLiteral(":/tarnwick/icon-%1.png").arg(size), QSize(size, size));
    return icon;
}

QFont mainLabelFont() {
    return panelFont({"Microsoft Sans Serif", "Arial", "Liberation Sans"}, QFont::SansSerif, 11,
                     QFont::Medium);
}

QFont controlPanelTitleFont() {
    return panelFont({"Times New Roman", "Liberation Serif"}, QFont::Serif, 13, QFont::Bold);
}

QFont controlPanelLabelFont() {
    return panelFont({"Times New Roman", "Liberation Serif"}, QFont::Serif, 11, QFont::Normal);
}

void drawPanelLabel(QPainter& painter, const QRect& box, const QString& text) {
    const int advance = QFontMetrics(painter.font()).horizontalAdvance(text);
    if (advance <= box.width()) {
        painter.drawText(box, Qt::AlignCenter | Qt::TextDontClip, text);
        return;
    }
    // Squeeze horizontally: centred in a box as wide as the text, then
    // scaled down into the real one. Works for every face, scalable or not.
    const qreal squeeze = qreal(box.width()) / advance;
    painter.save();
    painter.translate(box.left(), 0);
    painter.scale(squeeze, 1);
    painter.drawText(QRectF(0, box.top(), advance, box.height()), Qt::AlignCenter | Qt::TextDontClip, text);
    painter.restore();
}

}  // namespace tarnwick
