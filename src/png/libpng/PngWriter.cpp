#include "png/PngWriter.h"

#include <png.h>

#include <csetjmp>
#include <vector>

namespace tavrik {
namespace {

void Append(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::string*>(png_get_io_ptr(png));
  out->append(reinterpret_cast<const char*>(data), length);
}

void Flush(png_structp) {}

// libpng reports errors by longjmp, so nothing here needs unwinding: the row
// buffer is built before png_write_info and freed by the caller.
bool Encode(const PaperImage& paper, const std::vector<uint8_t>& blank, std::string& out) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr || setjmp(png_jmpbuf(png)) != 0) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, &out, Append, Flush);
  const png_uint_32 height = paper.Height() > 0 ? paper.Height() : 1;
  png_set_IHDR(png, info, paper.Width(), height, 1, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_set_invert_mono(png);  // the paper's 1 is ink, gray's 1 is white
  for (png_uint_32 y = 0; y < height; ++y)
    png_write_row(png, paper.Height() > 0 ? paper.Row(y) : blank.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool PngWriter::Available() { return true; }

bool PngWriter::Write(const PaperImage& paper, std::string& out) {
  out.clear();
  const std::vector<uint8_t> blank(paper.RowBytes(), 0);
  if (Encode(paper, blank, out)) return true;
  out.clear();
  return false;
}

}  // namespace tavrik
