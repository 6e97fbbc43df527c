#include "ocr/TextRecognizer.h"

namespace tavrik {

std::unique_ptr<TextRecognizer> CreateTextRecognizer(const std::string& /*languages*/) { return nullptr; }
bool TextRecognitionAvailable() { return false; }

}  // namespace tavrik
