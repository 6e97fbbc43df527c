#include "ocr/tesseract/TesseractRecognizer.h"

#include <tesseract/baseapi.h>

namespace tavrik {
std::unique_ptr<TextRecognizer> CreateTextRecognizer(const std::string& languages) {
  return std::make_unique<TesseractRecognizer>(languages);
}

bool TextRecognitionAvailable() { return true; }

TesseractRecognizer::TesseractRecognizer(std::string languages) : languages_(std::move(languages)) {}

TesseractRecognizer::~TesseractRecognizer() {
  if (api_) api_->End();
}

std::string TesseractRecognizer::Recognize(const PageImage& page, std::string& problem) {
  if (engine_ == Engine::kNotStarted) {
    api_ = std::make_unique<tesseract::TessBaseAPI>();
    if (api_->Init(nullptr, languages_.c_str(), tesseract::OEM_LSTM_ONLY) != 0) {
      engine_ = Engine::kFailed;
      problem = "cannot load the language data for \"" + languages_ + "\" (packages tesseract-ocr-<language>)";
      return "";
    }
    // A receipt is one column of lines.
    api_->SetPageSegMode(tesseract::PSM_SINGLE_BLOCK);
    engine_ = Engine::kReady;
  }
  if (engine_ != Engine::kReady || page.Empty()) return "";
  const uint32_t width = page.width;
  const uint32_t height = page.height;
  // A white margin: text touching the edge is read poorly.
  constexpr uint32_t kMargin = 16;
  const uint32_t stride = width + 2 * kMargin;
  grey_.assign(size_t{stride} * (height + 2 * kMargin), static_cast<char>(255));
  const uint32_t rowBytes = page.RowBytes();
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* row = page.bits.data() + size_t{y} * rowBytes;
    char* out = grey_.data() + size_t{y + kMargin} * stride + kMargin;
    for (uint32_t x = 0; x < width; ++x) {
      if ((row[x / 8] >> (7 - x % 8)) & 1) out[x] = 0;
    }
  }
  api_->SetImage(reinterpret_cast<const unsigned char*>(grey_.data()), static_cast<int>(stride),
                 static_cast<int>(height + 2 * kMargin), 1, static_cast<int>(stride));
  api_->SetSourceResolution(203);
  const std::unique_ptr<char[]> text(api_->GetUTF8Text());
  api_->Clear();
  return text ? std::string(text.get()) : std::string();
}

}  // namespace tavrik
