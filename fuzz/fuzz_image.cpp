// The photos of report pages: any bytes read as PNG or JPEG for the page
// geometry (their size) and for the PDF (the image as PDF reads it, PNGs of
// every kind decoded). Refusal is a false return, never a throw or a crash.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/reports/PageGeometry.h"
#include "platform/reports/internal/PdfImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    int width = 0, height = 0;
    pla013::reports::imagePixelSize(bytes, width, height);
    pla013::reports::internal::PdfImage image;
    pla013::reports::internal::makePdfImage(bytes, image);
    return 0;
}
