#pragma once

#include <QRegion>
#include <vector>

#include "app/WindowOutline.h"

// Window regions built from the outlines, ready for QWidget::setMask.
QRegion polygonRegion(const std::vector<OutlinePoint>& points);
QRegion roundRectRegion(const RoundRect& rect);
