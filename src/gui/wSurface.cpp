#include "gui/wSurface.h"

#include <QImage>
#include <QPainter>

SurfaceWidget::SurfaceWidget(int width, int height, QWidget* parent) : QWidget(parent), surface_(width, height, false)
{
    setFixedSize(width, height);
    Clear();
}

void SurfaceWidget::Resize(int width, int height)
{
    if (width == surface_.Width() && height == surface_.Height()) return;
    surface_ = platform::DeviceContext(width, height, surface_.IsPaletteDevice());
    setFixedSize(width, height);
    Clear();
}

void SurfaceWidget::Clear()
{
    QColor face = palette().color(QPalette::Window);
    surface_.Fill((static_cast<uint32_t>(face.red()) << 16) | (static_cast<uint32_t>(face.green()) << 8) |
                  static_cast<uint32_t>(face.blue()));
    update();
}

void SurfaceWidget::paintEvent(QPaintEvent*)
{
    const auto& pixels = surface_.Pixels();
    QImage image(reinterpret_cast<const uchar*>(pixels.data()), surface_.Width(), surface_.Height(),
                 surface_.Width() * 4, QImage::Format_RGB32);
    QPainter painter(this);
    painter.drawImage(0, 0, image);
}
