#pragma once
// Reads text from a page image. Called on a worker thread only, one page at
// a time: it may take a second, and keeps its engine between pages.
#include <memory>
#include <string>

#include "ocr/PageImage.h"

namespace tavrik {

class TextRecognizer {
 public:
  virtual ~TextRecognizer() = default;
  // The page's text, lines ended by '\n'; empty when none was found. Sets
  // problem (and returns empty) when the engine cannot start, e.g. when a
  // language's data is missing.
  virtual std::string Recognize(const PageImage& page, std::string& problem) = 0;
};

// Tesseract, with the given languages ("eng", "eng+deu"); null when this
// build has no OCR.
std::unique_ptr<TextRecognizer> CreateTextRecognizer(const std::string& languages);
bool TextRecognitionAvailable();

}  // namespace tavrik
