#pragma once
// Shows a platform device context in the window: the preview draws into the
// surface through the display bridge, and this widget paints the surface.

#include <QWidget>

#include "platform/Gdi.h"

class SurfaceWidget : public QWidget {
public:
    SurfaceWidget(int width, int height, QWidget* parent = nullptr);

    platform::DeviceContext& Surface() { return surface_; }
    // A new, cleared surface of the given size; the widget takes that size.
    void Resize(int width, int height);
    // Clears the surface to the widget's background.
    void Clear();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    platform::DeviceContext surface_;
};
