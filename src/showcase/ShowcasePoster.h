#pragma once

// The stand's A4 poster: a title, the showcase's address as a large QR code, the address in
// letters and one line telling visitors what to do. A vector PDF, crisp at any printer.

#include <QString>

namespace tavrin::ShowcasePoster {

// Throws Error (French) when the file cannot be written.
void write(const QString& url, const QString& pdfPath);

} // namespace tavrin::ShowcasePoster
