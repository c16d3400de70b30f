#pragma once

#include <QImage>
#include <QWidget>
#include <cstdint>
#include <optional>

#include "memory/MemoryRelayPicture.h"

namespace tarnwick {

// The relay-built memory as a picture: a strip per level of the tree (each
// level body one or more pixels, the top level first) above the 1,024 blocks
// as a 32 x 32 grid, each block 8 rows by 8 cell columns of 2 x 2 pixels and
// framed by its own row decoder and bit selectors. Brightness is the share of
// a part's relays whose normally-open contact carries current; the byte the
// memory lines address is outlined.
class MemoryPictureView : public QWidget {
    Q_OBJECT

public:
    static constexpr int columnPixels = 2;
    static constexpr int blockPixels = 8 * columnPixels + 2;  // with its frame
    static constexpr int levelPixels = 4;
    static constexpr int width = 32 * blockPixels;
    static constexpr int levelsHeight = MemoryRelayPicture::levelCount * levelPixels + 4;
    static constexpr int height = levelsHeight + 32 * blockPixels;

    explicit MemoryPictureView(QWidget* parent = nullptr);

    // Draws the picture into the widget's image; address is the memory's
    // address lines, when known.
    void setPicture(const MemoryRelayPicture& picture, std::optional<std::uint16_t> address);
    const QImage& image() const { return image_; }
    // Where cell column (block, row, column) is drawn.
    static QPoint columnPosition(int block, int row, int column);

    QSize sizeHint() const override { return {width, height}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
    std::optional<std::uint16_t> address_;
};

}  // namespace tarnwick
