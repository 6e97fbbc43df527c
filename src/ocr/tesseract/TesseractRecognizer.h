#pragma once
// TextRecognizer on Tesseract's LSTM engine, started on the first page (its
// language data takes a moment to load). A page is handed over as 8-bit
// grey with a white margin. The engine should run with OMP_THREAD_LIMIT=1
// (see OneEngineThread.h).
#include <memory>
#include <string>

#include "ocr/TextRecognizer.h"

namespace tesseract {
class TessBaseAPI;
}

namespace tavrik {

class TesseractRecognizer final : public TextRecognizer {
 public:
  explicit TesseractRecognizer(std::string languages);
  ~TesseractRecognizer() override;

  std::string Recognize(const PageImage& page, std::string& problem) override;

 private:
  enum class Engine { kNotStarted, kReady, kFailed };

  const std::string languages_;
  std::unique_ptr<tesseract::TessBaseAPI> api_;
  Engine engine_ = Engine::kNotStarted;
  std::string grey_;  // scratch, reused from page to page
};

}  // namespace tavrik
