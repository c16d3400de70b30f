#include "gui/MemoryPictureView.h"

#include <QPainter>
#include <algorithm>
#include <utility>

namespace tarnwick {

namespace {

// Parts of a kind share most of their lit relays (a cell holding 0 lights
// as many as one holding 1 in another gate), so brightness spreads what
// differs: the least lit part of its kind dim, the most lit brightest, and
// a part with nothing lit dark.
QRgb shade(unsigned lit, unsigned least, unsigned most) {
    if (lit == 0) return qRgb(24, 20, 16);
    const unsigned level = most > least ? 50 + 205 * (lit - least) / (most - least) : 150;
    return qRgb(static_cast<int>(level), static_cast<int>(level * 72 / 100), 0);
}

template <class Counts>
std::pair<unsigned, unsigned> range(const Counts& counts) {
    const auto [least, most] = std::minmax_element(counts.begin(), counts.end());
    return {*least, *most};
}

}  // namespace

MemoryPictureView::MemoryPictureView(QWidget* parent)
    : QWidget(parent), image_(width, height, QImage::Format_RGB32) {
    image_.fill(QColor(24, 20, 16));
    setFixedSize(width, height);
}

QPoint MemoryPictureView::columnPosition(int block, int row, int column) {
    return {(block % 32) * blockPixels + 1 + column * columnPixels,
            levelsHeight + (block / 32) * blockPixels + 1 + row * columnPixels};
}

void MemoryPictureView::setPicture(const MemoryRelayPicture& picture, std::optional<std::uint16_t> address) {
    address_ = address;
    image_.fill(QColor(12, 12, 12));
    const auto nodes = range(picture.nodes);
    const auto columns = range(picture.columns);
    const auto blocks = range(picture.blocks);
    // Levels: level L has 2^L bodies side by side.
    for (int level = 0; level < MemoryRelayPicture::levelCount; ++level) {
        const int count = 1 << level;
        const int first = count - 1;
        for (int node = 0; node < count; ++node) {
            const int left = node * width / count;
            const int right = std::max(left + 1, (node + 1) * width / count - (count < 256 ? 1 : 0));
            const QRgb colour =
                shade(picture.nodes[static_cast<std::size_t>(first + node)], nodes.first, nodes.second);
            for (int y = level * levelPixels; y < (level + 1) * levelPixels - 1; ++y) {
                auto* line = reinterpret_cast<QRgb*>(image_.scanLine(y));
                std::fill(line + left, line + right, colour);
            }
        }
    }
    for (int block = 0; block < MemoryRelayPicture::blockCount; ++block) {
        const QPoint corner((block % 32) * blockPixels, levelsHeight + (block / 32) * blockPixels);
        const QRgb frame =
            shade(picture.blocks[static_cast<std::size_t>(block)], blocks.first, blocks.second);
        for (int i = 0; i < blockPixels - 1; ++i) {
            image_.setPixel(corner.x() + i, corner.y(), frame);
            image_.setPixel(corner.x() + i, corner.y() + blockPixels - 2, frame);
            image_.setPixel(corner.x(), corner.y() + i, frame);
            image_.setPixel(corner.x() + blockPixels - 2, corner.y() + i, frame);
        }
        for (int row = 0; row < 8; ++row) {
            for (int column = 0; column < 8; ++column) {
                const QRgb colour =
                    shade(picture.columns[static_cast<std::size_t>(block * 64 + row * 8 + column)],
                          columns.first, columns.second);
                const QPoint at = columnPosition(block, row, column);
                for (int dy = 0; dy < columnPixels; ++dy) {
                    auto* line = reinterpret_cast<QRgb*>(image_.scanLine(at.y() + dy));
                    std::fill(line + at.x(), line + at.x() + columnPixels, colour);
                }
            }
        }
    }
    update();
}

void MemoryPictureView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, image_);
    if (address_) {
        const int block = *address_ >> 6;
        const int row = (*address_ >> 3) & 7;
        const QPoint at = columnPosition(block, row, 0);
        painter.setPen(QColor(0, 200, 255));
        painter.drawRect(QRect(at - QPoint(1, 1), QSize(8 * columnPixels + 1, columnPixels + 1)));
    }
}

}  // namespace tarnwick
