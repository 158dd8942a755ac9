#pragma once

// Every popup length is given at 96 dpi and passes through these. They scale only when the
// screen's logical resolution says so (above 120 dpi). With Qt's own high-dpi scaling on the
// logical resolution stays 96 and the device pixel ratio carries the scale, so these return
// lengths unchanged and nothing is scaled twice.
namespace tidewell {

// Switches Qt's own high-dpi scaling off for this process, so these functions alone scale the
// popup: Qt would also scale at 97 to 120 dpi, fractionally. Call it before the application
// object is created.
void leaveScalingToPopups();

int scaleX(int v);
int scaleY(int v);
// The web page zoom: vertical dpi / 96 when scaling applies, else 1.
float scaleFactor();

// Pins the logical dpi (tests); 0 returns to the primary screen's.
void setDpiOverride(double dpiX, double dpiY);

} // namespace tidewell
