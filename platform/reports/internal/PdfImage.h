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

// What a JPEG's frame header (SOF0..SOF15 but DHT, JPG and DAC) says, with
// whether an Adobe segment came before it; false when the bytes are not a
// JPEG or end before the frame header.
struct JpegFrame {
    int bits = 0, width = 0, height = 0, components = 0;
    bool adobe = false;
};
bool readJpegFrame(const std::string& bytes, JpegFrame& out);

// False when the bytes are not an image we can embed (the page then shows
// nothing in its box).
bool makePdfImage(const std::string& bytes, PdfImage& out);

}  // namespace pla013::reports::internal
