#pragma once

// Every popup length is given at 96 dpi and passes through these. They scale only when the
// screen's logical resolution says so (above 120 dpi). With Qt's own high-dpi scaling on (the
// default) the logical resolution stays 96 and the device pixel ratio carries the scale, so
// these return lengths unchanged and nothing is scaled twice.
namespace tidewell {

int scaleX(int v);
int scaleY(int v);
// The web page zoom: vertical dpi / 96 when scaling applies, else 1.
float scaleFactor();

// Pins the logical dpi (tests); 0 returns to the primary screen's.
void setDpiOverride(double dpiX, double dpiY);

} // namespace tidewell
