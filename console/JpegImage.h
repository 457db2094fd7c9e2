#pragma once
// JPEG decoding for the faceplate and module pictures, done with libjpeg itself.
#include <QByteArray>
#include <QImage>
#include <QString>

namespace corvane::console {

// Decodes a baseline or progressive JPEG held in memory into an RGB image. Returns a null
// image when the data is not a decodable JPEG; libjpeg's own error exit is replaced so a
// corrupt picture never ends the process.
QImage DecodeJpeg(const QByteArray& data);

// Reads `path` (a file or a ":/" resource) and decodes it; null image on any failure.
QImage LoadJpeg(const QString& path);

}  // namespace corvane::console
