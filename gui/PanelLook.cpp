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

// One panel image at its own size and at twice that size.
class ImagePair {
public:
    explicit ImagePair(const char* name) : normal_(load(name, "")), doubled_(load(name, "@2x")) {
        doubled_.setDevicePixelRatio(2);
    }
    const QImage& forRatio(qreal devicePixelRatio) const { return devicePixelRatio > 1 ? doubled_ : normal_; }

private:
    static QImage load(const char* name, const char* suffix) {
        ensureResources();
        QImage image(QStringLiteral(":/tarnwick/%1%2.png").arg(QLatin1String(name), QLatin1String(suffix)));
        return image.convertToFormat(QImage::Format_RGB32);
    }

    QImage normal_;
    QImage doubled_;
};

QFont panelFont(const QStringList& families, QFont::StyleHint hint, int pixelSize, QFont::Weight weight) {
    QFont font;
    font.setFamilies(families);
    font.setStyleHint(hint);
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

}  // namespace

const QImage& litLampImage(qreal devicePixelRatio) {
    static const ImagePair images("lamp-lit");
    return images.forRatio(devicePixelRatio);
}

const QImage& unlitLampImage(qreal devicePixelRatio) {
    static const ImagePair images("lamp-unlit");
    return images.forRatio(devicePixelRatio);
}

const QImage& leverUpImage(qreal devicePixelRatio) {
    static const ImagePair images("switch-up");
    return images.forRatio(devicePixelRatio);
}

const QImage& leverDownImage(qreal devicePixelRatio) {
    static const ImagePair images("switch-down");
    return images.forRatio(devicePixelRatio);
}

QIcon programIcon() {
    ensureResources();
    QIcon icon;
    // The icon picks the file with the pixel size a device needs, so the
    // doubles of 48 and 128 are here for screens scaled by 2.
    for (int size : {16, 32, 48, 64, 96, 128, 256})
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
