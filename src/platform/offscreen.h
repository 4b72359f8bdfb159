#pragma once

namespace Platform {

// Makes the next QGuiApplication paint without a display (velkais-log map).
// Call before it is created. On Windows Qt's offscreen platform finds fonts
// only in QT_QPA_FONTDIR, so that is pointed at the system's fonts unless the
// caller's environment names a folder already.
void useOffscreenPlatform();

} // namespace Platform
