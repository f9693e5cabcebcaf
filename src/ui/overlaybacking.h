#pragma once

// What floats over the preview — the status capsule, the progress of a write — stands on one
// kind of backing, so it reads as one family over any picture.

#include <QtGlobal>

class QWidget;

// Fills `widget` with the translucent backing of the palette's field colour and its soft edge,
// corners of `radius` (half the height gives a capsule).
void paintOverlayBacking(QWidget *widget, qreal radius);
