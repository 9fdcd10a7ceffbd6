#pragma once
// A report photo as a PDF image XObject: a JPEG goes in as it is (DCTDecode);
// a PNG's compressed pixels go in as they are when PDF reads them (grey, RGB
// and palette images, with the PNG predictors), and are decoded and made RGB
// over white otherwise (transparency).

#include <string>

namespace pla013::reports::internal {

struct PdfImage {
    std::string dictionary;  // the entries of the stream's dictionary, /Length aside
    std::string data;        // the stream's bytes
};

// False when the bytes are not an image we can embed (the page then shows
// nothing in its box).
bool makePdfImage(const std::string& bytes, PdfImage& out);

}  // namespace pla013::reports::internal
